// Foreign keys, ALTER TABLE, identity values and the property functions through the real FreeTDS
// ODBC driver: what a script writer reads and what running its scripts answers.

#include "odbc_suite.hpp"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

using namespace sandbox::testing;

namespace {

class SandboxKeysOdbc : public OdbcSuite {};

}  // namespace

TEST_F(SandboxKeysOdbc, ForeignKeysAddedByAlterTableAreReadAndEnforced) {
    auto c = connect();
    runOk(*c, "create database keys_db");
    runOk(*c, "use keys_db");
    runOk(*c, "create table dept (id int not null, name varchar(20) not null)");
    runOk(*c, "create table emp (id int identity(10, 5) not null, dept int null, boss int null)");
    runOk(*c, "alter table dept add constraint pk_dept primary key clustered (id)");
    runOk(*c, "alter table emp add constraint pk_emp primary key (id)");
    runOk(*c, "alter table emp add constraint fk_emp_dept foreign key (dept) references dept (id) on delete cascade");
    runOk(*c, "alter table emp add constraint fk_emp_boss foreign key (boss) references emp (id)");

    OdbcBatch keys = runOk(*c,
        "select object_name(f.constid), object_name(f.fkeyid), col_name(f.fkeyid, f.fkey), object_name(f.rkeyid), "
        "col_name(f.rkeyid, f.rkey), objectproperty(f.constid, 'CnstIsDeleteCascade'), "
        "objectproperty(f.constid, 'CnstIsUpdateCascade') from sysforeignkeys f order by 1");
    ASSERT_EQ(keys.results.size(), 1u);
    std::vector<std::vector<std::optional<std::string>>> expected{
        {"fk_emp_boss", "emp", "boss", "emp", "id", "0", "0"}, {"fk_emp_dept", "emp", "dept", "dept", "id", "1", "0"}};
    EXPECT_EQ(keys.results[0].rows, expected);

    runOk(*c, "insert dept values (1, 'sales') insert emp (dept, boss) values (1, null) insert emp (dept, boss) values (1, 10)");
    OdbcBatch orphan = c->run("insert emp (dept, boss) values (2, null)");
    EXPECT_FALSE(orphan.ok);
    EXPECT_TRUE(orphan.mentions("INSERT statement conflicted with COLUMN FOREIGN KEY constraint 'fk_emp_dept'. The conflict "
                                "occurred in database 'keys_db', table 'dept', column 'id'."))
        << (orphan.messages.empty() ? "" : orphan.messages[0]);
    OdbcBatch dropped = c->run("alter table dept drop constraint pk_dept");
    EXPECT_FALSE(dropped.ok);
    EXPECT_TRUE(dropped.mentions("3725")) << (dropped.messages.empty() ? "" : dropped.messages[0]);
    EXPECT_TRUE(dropped.mentions("Could not drop constraint. See previous errors."));
    runOk(*c, "delete dept");  // the cascade takes both employees, the boss last
    EXPECT_EQ(c->scalar("select count(*) from emp"), "0");
}

TEST_F(SandboxKeysOdbc, IdentityValuesAndDbccCheckidentReachTheDriver) {
    auto c = connect();
    runOk(*c, "create table ids (id int identity(1, 1) primary key, v varchar(5) collate Latin1_General_CI_AS)");
    OdbcBatch seed = runOk(*c, "select ident_seed('ids'), ident_incr('ids'), ident_current('ids')");
    ASSERT_EQ(seed.results.size(), 1u);
    EXPECT_EQ(seed.results[0].columns[2].sqlType, SQL_NUMERIC);
    EXPECT_EQ(seed.results[0].rows[0], (std::vector<std::optional<std::string>>{"1", "1", "1"}));

    OdbcBatch reseed = runOk(*c, "dbcc checkident ('ids', reseed, 100)");
    EXPECT_TRUE(reseed.mentions("Checking identity information: current identity value 'NULL', current column value '100'."));
    OdbcBatch refused = c->run("insert ids (id, v) values (5, 'x')");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.mentions("Cannot insert explicit value for identity column in table 'ids' when IDENTITY_INSERT is set to OFF."));
    runOk(*c, "insert ids (v) values ('w') set identity_insert ids on insert ids (id, v) values (5, 'x') "
              "set identity_insert ids off insert ids (v) values ('y')");
    EXPECT_EQ(c->scalar("select max(id) from ids"), "101");  // the explicit 5 stays below the current value
    EXPECT_EQ(c->scalar("select collation from syscolumns where id = object_id('ids') and name = 'v'"), "Latin1_General_CI_AS");
    EXPECT_EQ(c->scalar("select columnproperty(object_id('ids'), 'id', 'IsIdentity')"), "1");
}
