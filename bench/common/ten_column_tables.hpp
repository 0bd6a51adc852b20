#pragma once
// The many tables of the catalogue benchmarks: ten columns each, with a primary key, two
// defaults, an index and a column remark, as the tool's users have them.

#include <cstdio>
#include <string>

namespace bench {

inline std::string tableName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "t%04d", i);
    return name;
}

// CREATE TABLE, its index and its remark for table number `i`, ending in a line break.
inline std::string createTenColumnTable(int i) {
    const std::string name = tableName(i);
    return "create table " + name +
           " (id int not null primary key, name varchar(30) null default 'x', amount decimal(12,2) not null, "
           "note nvarchar(100) null, created datetime null default (getdate()), flag bit not null, "
           "code char(8) null, ratio float null, small smallint null, stamp smalldatetime null) "
           "create index ix_" + name + " on " + name + " (name) "
           "exec sp_addextendedproperty N'MS_Description', N'名称', N'user', N'dbo', N'table', N'" + name +
           "', N'column', N'name'\n";
}

}  // namespace bench
