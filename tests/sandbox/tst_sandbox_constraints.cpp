// Constraints as SQL Server 2000 keeps and enforces them: foreign keys (catalogue rows, checks,
// cascades), ALTER TABLE ... ADD / DROP CONSTRAINT, identity values and the property functions.

#include "engine/backup.hpp"
#include "engine_fixture.hpp"

#include <gtest/gtest.h>

using namespace sandbox;

namespace {

class SandboxConstraints : public sandbox::testing::EngineTest {
protected:
    SandboxConstraints() { run("create database shop use shop"); }

    // The numbers of the error messages a batch produced, in order.
    std::vector<int> errors(const std::string& sql) {
        std::vector<int> numbers;
        for (const auto& m : run(sql).messages)
            if (m.severity > 10) numbers.push_back(m.number);
        return numbers;
    }
    std::string firstError(const std::string& sql) {
        for (const auto& m : run(sql).messages)
            if (m.severity > 10) return m.text;
        return "<none>";
    }
    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        sandbox::testing::CollectingSink sink = run(sql);
        return sink.results.empty() ? std::vector<std::vector<std::string>>{} : sink.results.back().rows;
    }
    void createOrders() {
        run("create table customers (id int not null primary key, name varchar(20))");
        run("create table orders (no int not null primary key, customer int references customers(id), "
            "constraint fk_named foreign key (no) references customers (id) on delete cascade on update cascade)");
    }
};

using Rows = std::vector<std::vector<std::string>>;

}  // namespace

TEST_F(SandboxConstraints, ForeignKeysAppearInEveryCatalogueTable) {
    createOrders();
    Rows keys = rows("select name, parent_obj, info, status, type from sysobjects where xtype = 'F' order by name");
    ASSERT_EQ(keys.size(), 2u);
    std::string orders = scalar("select object_id('orders')");
    const std::vector<std::string>& generated = keys[0];
    EXPECT_EQ(generated[0].rfind("FK__orders__customer__", 0), 0u) << generated[0];  // table and column within 14 characters
    EXPECT_EQ(generated[1], orders);
    EXPECT_EQ(generated[2], "2");  // declared at the column: its colid
    EXPECT_EQ(generated[3], "4");  // a name the server made
    EXPECT_EQ(keys[1], (std::vector<std::string>{"fk_named", orders, "0", "0", "F "}));
    // The generated name ends in the constraint's own id in hexadecimal.
    std::string id = scalar("select id from sysobjects where name = '" + generated[0] + "'");
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(std::stol(id)));
    EXPECT_EQ(generated[0].substr(generated[0].size() - 8), hex);

    EXPECT_EQ(rows("select object_name(constid), fkey, rkey, keyno from sysforeignkeys where fkeyid = object_id('orders') "
                   "order by object_name(constid) desc"),
              (Rows{{"fk_named", "1", "1", "1"}, {generated[0], "2", "1", "1"}}));
    EXPECT_EQ(rows("select rkeyindid, keycnt, fkey1, rkey1, fkey2, rkeyid - object_id('customers') from sysreferences "
                   "where constid = object_id('fk_named')"),
              (Rows{{"1", "1", "1", "1", "0", "0"}}));
    EXPECT_EQ(rows("select colid, status from sysconstraints where id = object_id('orders') order by constid"),
              (Rows{{"0", std::to_string(1 + 32 + 512 + 2048 + 131072)}, {"2", std::to_string(3 + 16 + 2048 + 131072)},
                    {"0", std::to_string(3 + 32 + 2048)}}));
    EXPECT_EQ(rows("select objectproperty(object_id('fk_named'), 'CnstIsDeleteCascade'), "
                   "objectproperty(object_id('fk_named'), 'CnstIsUpdateCascade'), "
                   "objectproperty(object_id('" + generated[0] + "'), 'CnstIsDeleteCascade'), "
                   "objectproperty(object_id('fk_named'), 'IsForeignKey'), objectproperty(object_id('orders'), 'IsForeignKey'), "
                   "objectproperty(object_id('orders'), 'CnstIsDeleteCascade')"),
              (Rows{{"1", "1", "0", "1", "0", "NULL"}}));
    EXPECT_EQ(scalar("select count(*) from syscomments where id in (select id from sysobjects where xtype = 'F')"), "0");
}

TEST_F(SandboxConstraints, ForeignKeysRefuseOrphansWithSqlServerMessages) {
    run("create table customers (id int not null primary key, name varchar(20))");
    run("create table orders (no int not null primary key, customer int references customers(id))");
    std::string key = scalar("select name from sysobjects where xtype = 'F'");
    run("insert customers values (1, 'ann')");
    EXPECT_EQ(firstError("insert orders values (1, 7)"),
              "INSERT statement conflicted with COLUMN FOREIGN KEY constraint '" + key +
                  "'. The conflict occurred in database 'shop', table 'customers', column 'id'.");
    EXPECT_EQ(errors("insert orders values (1, null) insert orders values (2, 2)"), (std::vector<int>{547}));
    EXPECT_EQ(scalar("select count(*) from orders"), "1");  // a NULL key references nothing
    EXPECT_EQ(firstError("update orders set customer = 5"),
              "UPDATE statement conflicted with COLUMN FOREIGN KEY constraint '" + key +
                  "'. The conflict occurred in database 'shop', table 'customers', column 'id'.");
    run("update orders set customer = 1");
    EXPECT_EQ(firstError("delete customers"), "DELETE statement conflicted with COLUMN REFERENCE constraint '" + key +
                                                  "'. The conflict occurred in database 'shop', table 'orders', column 'customer'.");
    EXPECT_EQ(scalar("select count(*) from customers"), "1");
    EXPECT_EQ(firstError("update customers set id = 9"), "UPDATE statement conflicted with COLUMN REFERENCE constraint '" + key +
                                                             "'. The conflict occurred in database 'shop', table 'orders', column 'customer'.");
    EXPECT_EQ(errors("update customers set name = 'bob'"), std::vector<int>{});  // the key stays
    EXPECT_EQ(errors("drop table customers"), (std::vector<int>{3726}));
    EXPECT_EQ(errors("truncate table customers"), (std::vector<int>{4712}));
    EXPECT_EQ(scalar("select count(*) from customers"), "1");
    run("drop table orders");
    EXPECT_EQ(errors("drop table customers"), std::vector<int>{});
    EXPECT_EQ(scalar("select count(*) from sysforeignkeys"), "0");
}

TEST_F(SandboxConstraints, CascadesReachEveryLevelAndCompositeKeysFollowTheirParent) {
    run("create table region (code char(2) not null, country char(2) not null, primary key (country, code))");
    run("create table city (id int primary key, country char(2), code char(2), "
        "foreign key (country, code) references region (country, code) on update cascade on delete cascade)");
    run("create table street (id int primary key, city int references city on delete cascade)");
    run("insert region values ('BJ', 'CN') insert region values ('SH', 'CN')");
    run("insert city values (1, 'CN', 'BJ') insert city values (2, 'CN', 'SH') insert city values (3, null, 'SH')");
    run("insert street values (10, 1) insert street values (20, 2) insert street values (30, null)");
    run("update region set code = 'PK' where code = 'BJ'");
    EXPECT_EQ(rows("select id, country, code from city order by id"), (Rows{{"1", "CN", "PK"}, {"2", "CN", "SH"}, {"3", "NULL", "SH"}}));
    sandbox::testing::CollectingSink deleted = run("delete region where code = 'SH'");
    EXPECT_EQ(deleted.dones.back().second, 1u);  // the statement counts its own rows only
    EXPECT_EQ(rows("select id from city order by id"), (Rows{{"1"}, {"3"}}));
    EXPECT_EQ(rows("select id from street order by id"), (Rows{{"10"}, {"30"}}));
    // Two keys: a TABLE constraint in messages, named by no column.
    EXPECT_EQ(firstError("insert city values (4, 'CN', 'XX')").find("INSERT statement conflicted with TABLE FOREIGN KEY constraint 'FK__city__"), 0u);
    EXPECT_NE(firstError("insert city values (4, 'CN', 'XX')").find("table 'region'."), std::string::npos);
}

TEST_F(SandboxConstraints, ReferencesWithinOneTableAreCheckedWhenTheStatementEnds) {
    run("create table staff (id int primary key, boss int references staff(id))");
    run("insert staff values (1, null) insert staff values (2, 1) insert staff values (3, 2) insert staff values (4, 4)");
    EXPECT_EQ(errors("insert staff values (5, 6)"), (std::vector<int>{547}));
    EXPECT_EQ(errors("delete staff where id = 2"), (std::vector<int>{547}));
    EXPECT_EQ(errors("delete staff where id in (2, 3)"), std::vector<int>{});  // no row is left without its boss
    EXPECT_EQ(errors("delete staff"), std::vector<int>{});
    EXPECT_EQ(errors("create table loop (id int primary key, up int references loop on delete cascade)"), (std::vector<int>{1785, 1750}));
    EXPECT_EQ(scalar("select object_id('loop')"), "NULL");  // the table goes with its failed constraint
}

TEST_F(SandboxConstraints, ForeignKeyDefinitionsAreCheckedBeforeTheyExist) {
    run("create table p (id int primary key, code varchar(10) unique, n numeric(9,2), c char(3), x int)");
    const std::pair<const char*, int> refused[] = {
        {"create table c1 (a int references nosuch(id))", 1767},
        {"create table c1 (a int, foreign key (b) references p(id))", 1769},
        {"create table c1 (a int references p(nosuch))", 1770},
        {"create table c1 (a int, b int, foreign key (a, b) references p(id))", 8139},
        {"create table c1 (a int references p(x))", 1776},
        {"create table c1 (a bigint references p(id))", 1778},
        {"create table c1 (a numeric(9,3) references p(n))", 1753},
        {"create table c1 (a char(4) references p(c))", 1753},
        {"create table c1 (a varchar(10) collate Latin1_General_CI_AS references p(code))", 1757},
        {"create table c1 (a int identity references p(id) on update cascade)", 1788},
    };
    run("create unique index ux on p (n) create unique index uc on p (c)");
    for (const auto& [sql, number] : refused) {
        EXPECT_EQ(errors(sql), (std::vector<int>{number, 1750})) << sql;
        EXPECT_EQ(scalar("select object_id('c1')"), "NULL") << sql;
    }
    run("create table nokey (id int)");
    EXPECT_EQ(errors("create table c1 (a int references nokey)"), (std::vector<int>{1773, 1750}));
    EXPECT_EQ(errors("create table c1 (a varchar(20) references p(code), b int references p)"), std::vector<int>{});  // lengths of varchar may differ
    // Two cascading paths from one table to another are refused.
    EXPECT_EQ(errors("create table c2 (a int references p on delete cascade, b int references p on delete cascade)"),
              (std::vector<int>{1785, 1750}));
    run("create table b1 (id int primary key, p int references p on delete cascade)");
    run("create table b2 (id int primary key, p int references p on delete cascade)");
    EXPECT_EQ(errors("create table d (id int, b1 int references b1 on delete cascade, b2 int references b2 on delete cascade)"),
              (std::vector<int>{1785, 1750}));  // p reaches d through b1 and through b2
    EXPECT_EQ(errors("create table d (id int not null, b1 int references b1 on delete cascade, b2 int references b2)"), std::vector<int>{});
    EXPECT_EQ(errors("alter table p add constraint fk_cycle foreign key (x) references d (id) on delete cascade"),
              (std::vector<int>{1776, 1750}));
    run("alter table d add constraint pk_d primary key (id)");
    EXPECT_EQ(errors("alter table p add constraint fk_cycle foreign key (x) references d (id) on delete cascade"),
              (std::vector<int>{1785, 1750}));  // p, b1, d, p
    EXPECT_EQ(errors("alter table p add constraint fk_cycle foreign key (x) references d (id) on update cascade"), std::vector<int>{});
}

TEST_F(SandboxConstraints, AlterTableAddsConstraintsCheckingTheRowsThere) {
    run("create table item (id int, code varchar(10), qty int, price money)");
    run("insert item values (1, 'a', 5, 1) insert item values (1, 'b', 0, 2)");
    EXPECT_EQ(errors("alter table item add constraint pk_item primary key (id)"), (std::vector<int>{8111, 1750}));
    run("create table item2 (id int not null, code varchar(10), qty int)");
    run("insert item2 values (1, 'a', 5) insert item2 values (1, 'b', 0)");
    std::vector<int> duplicate = errors("alter table item2 add constraint pk_item2 primary key nonclustered (id desc)");
    EXPECT_EQ(duplicate, (std::vector<int>{1505, 1750}));
    EXPECT_EQ(scalar("select object_id('pk_item2')"), "NULL");
    run("update item2 set id = 2 where code = 'b'");
    EXPECT_EQ(errors("alter table item2 add constraint pk_item2 primary key nonclustered (id desc) with fillfactor = 90 on [PRIMARY], "
                     "constraint uq_code unique clustered (code) on [PRIMARY]"),
              std::vector<int>{});
    EXPECT_EQ(rows("select indid, status, name from sysindexes where id = object_id('item2') order by indid"),
              (Rows{{"1", std::to_string(4096 + 16 + 2), "uq_code"}, {"2", std::to_string(2048 + 2), "pk_item2"}}));
    EXPECT_EQ(rows("select index_col('item2', 2, 1), indexkey_property(object_id('item2'), 2, 1, 'IsDescending'), "
                   "indexkey_property(object_id('item2'), 2, 1, 'ColumnId'), indexkey_property(object_id('item2'), 1, 1, 'IsDescending'), "
                   "objectproperty(object_id('pk_item2'), 'CnstIsNonclustKey'), objectproperty(object_id('uq_code'), 'CnstIsClustKey')"),
              (Rows{{"id", "1", "1", "0", "1", "1"}}));
    EXPECT_EQ(rows("select colid, status from sysconstraints where id = object_id('item2') order by constid"),
              (Rows{{"0", std::to_string(1 + 32 + 1024 + 2048)}, {"0", std::to_string(2 + 32 + 512 + 2048)}}));

    EXPECT_EQ(firstError("alter table item2 add constraint ck_qty check (qty > 0)"),
              "ALTER TABLE statement conflicted with TABLE CHECK constraint 'ck_qty'. The conflict occurred in database 'shop', table 'item2'.");
    EXPECT_EQ(errors("alter table item2 with nocheck add constraint ck_qty check (qty > 0)"), std::vector<int>{});
    EXPECT_EQ(scalar("select text from syscomments where id = object_id('ck_qty')"), "([qty] > 0)");
    EXPECT_EQ(errors("insert item2 values (3, 'c', 0)"), (std::vector<int>{547}));
    EXPECT_EQ(errors("alter table item2 add constraint df_qty default 1 for qty, default ('x') for code"), std::vector<int>{});
    EXPECT_EQ(rows("select text from syscomments c join sysobjects o on o.id = c.id where o.xtype = 'D' and o.parent_obj = object_id('item2') order by o.name"),
              (Rows{{"('x')"}, {"(1)"}}));
    run("insert item2 (id) values (3)");
    EXPECT_EQ(rows("select code, qty from item2 where id = 3"), (Rows{{"x", "1"}}));
    EXPECT_EQ(errors("alter table item2 add default 2 for qty"), (std::vector<int>{1781, 1750}));
    EXPECT_EQ(errors("alter table item2 add default 2 for nosuch"), (std::vector<int>{1752, 1750}));

    // A statement adds all its constraints or none.
    EXPECT_EQ(errors("alter table item2 add constraint ck_a check (id > 0), constraint fk_bad foreign key (id) references nosuch (id)"),
              (std::vector<int>{1767, 1750}));
    EXPECT_EQ(scalar("select object_id('ck_a')"), "NULL");
    EXPECT_EQ(errors("insert item2 values (-1, 'z', 1)"), std::vector<int>{});

    run("create table holder (id int, item int)");
    run("insert holder values (1, 99)");
    EXPECT_EQ(firstError("alter table holder add constraint fk_item foreign key (item) references item2 (id)"),
              "ALTER TABLE statement conflicted with COLUMN FOREIGN KEY constraint 'fk_item'. The conflict occurred in database "
              "'shop', table 'item2', column 'id'.");
    EXPECT_EQ(errors("alter table holder with nocheck add constraint fk_item foreign key (item) references item2 (id)"), std::vector<int>{});
    EXPECT_EQ(errors("alter table item2 drop constraint pk_item2"), (std::vector<int>{3725, 3727}));
    EXPECT_EQ(errors("alter table item2 drop constraint nosuch"), (std::vector<int>{3728, 3727}));
    EXPECT_EQ(errors("alter table item2 drop constraint fk_item"), (std::vector<int>{3733, 3727}));
    EXPECT_EQ(errors("alter table holder drop constraint fk_item alter table item2 drop constraint pk_item2, ck_qty, df_qty, uq_code"),
              std::vector<int>{});
    EXPECT_EQ(scalar("select count(*) from sysobjects where parent_obj = object_id('item2')"), "1");  // the DEFAULT of code
    EXPECT_EQ(rows("select indid, name from sysindexes where id = object_id('item2')"), (Rows{{"0", "item2"}}));
    run("insert item2 (id) values (0) insert item2 (id) values (0)");  // no key, no check; qty has no default now
    EXPECT_EQ(rows("select count(*), max(code), max(qty) from item2 where id = 0"), (Rows{{"2", "x", "NULL"}}));
}

TEST_F(SandboxConstraints, CheckTextsAreWrittenAgainAsSqlServer2000KeepsThem) {
    const std::pair<const char*, const char*> written[] = {
        {"qty > 0", "([qty] > 0)"},
        {"pub_id in ('1389', '0736', '0877') or pub_id like '99[0-9][0-9]'",
         "([pub_id] = '0877' or ([pub_id] = '0736' or [pub_id] = '1389') or [pub_id] like '99[0-9][0-9]')"},
        {"QTY BETWEEN 1 AND 10", "([qty] >= 1 and [qty] <= 10)"},
        {"((qty > 0) and (price < 5 or price is null))", "([qty] > 0 and ([price] < 5 or [price] is null))"},
        {"qty - (price - 1) > 0 and not (pub_id = 'it''s')", "([qty] - ([price] - 1) > 0 and not([pub_id] = 'it''s'))"},
        {"len(pub_id) > 2 and upper(pub_id) <> N'X' and qty not in (3)", "(len([pub_id]) > 2 and upper([pub_id]) <> N'X' and [qty] <> 3)"},
        {"case when qty > 1 then price else 0 end >= cast(qty as decimal(9, 2))",
         "(case when [qty] > 1 then [price] else 0 end >= convert(decimal(9,2),[qty]))"},
    };
    int n = 0;
    for (const auto& [condition, stored] : written) {
        std::string table = "t" + std::to_string(++n);
        run("create table " + table + " (pub_id char(4), qty int, price money, constraint ck_" + table + " check (" + condition + "))");
        std::string text = scalar("select text from syscomments where id = object_id('ck_" + table + "')");
        EXPECT_EQ(text, stored) << condition;
        // Written again from the stored text, the constraint keeps the same text.
        run("create table again" + table + " (pub_id char(4), qty int, price money, constraint ck_again" + table + " check " + text + ")");
        EXPECT_EQ(scalar("select text from syscomments where id = object_id('ck_again" + table + "')"), stored) << condition;
    }
    EXPECT_EQ(errors("create table sub (a int check (a in (select 1)))"), (std::vector<int>{8142}));
}

TEST_F(SandboxConstraints, IdentityValuesFollowSqlServer2000) {
    run("create table t (id int identity(100, 10) primary key, v varchar(5))");
    EXPECT_EQ(rows("select ident_seed('t'), ident_incr('t'), ident_current('t'), ident_current('nosuch')"),
              (Rows{{"100", "10", "100", "NULL"}}));
    EXPECT_EQ(run("select ident_current('t')").results[0].columns[0].type.id, TypeId::Numeric);
    run("insert t values ('a')");
    EXPECT_EQ(scalar("select ident_current('dbo.t')"), "100");
    EXPECT_EQ(errors("insert t (id, v) values (5, 'b')"), (std::vector<int>{544}));
    EXPECT_EQ(errors("insert t values (5, 'b')"), (std::vector<int>{8101}));
    run("set identity_insert t on");
    EXPECT_EQ(errors("insert t (v) values ('b')"), (std::vector<int>{545}));
    run("insert t (id, v) values (500, 'c')");
    EXPECT_EQ(scalar("select @@identity"), "500");
    run("insert t (id, v) values (300, 'd')");  // below the current value: the current value stays
    run("create table u (id int identity, v int)");
    EXPECT_EQ(errors("set identity_insert u on"), (std::vector<int>{8107}));
    run("set identity_insert t off");
    run("insert t values ('e')");
    EXPECT_EQ(scalar("select max(id) from t"), "510");
    EXPECT_EQ(scalar("select ident_current('t')"), "510");

    // DBCC CHECKIDENT: a new table takes the reseed value itself, a used one the value plus the increment.
    sandbox::testing::CollectingSink reseed = run("dbcc checkident ('u', reseed, 50)");
    ASSERT_EQ(reseed.messages.size(), 2u);
    EXPECT_EQ(reseed.messages[0].number, 7998);
    EXPECT_EQ(reseed.messages[0].text, "Checking identity information: current identity value 'NULL', current column value '50'.");
    EXPECT_EQ(reseed.messages[1].text, "DBCC execution completed. If DBCC printed error messages, contact your system administrator.");
    EXPECT_EQ(scalar("select ident_current('u')"), "50");
    run("insert u values (1)");
    EXPECT_EQ(scalar("select max(id) from u"), "50");
    run("dbcc checkident (u, reseed, 7) insert u values (2)");
    EXPECT_EQ(scalar("select max(id) from u where v = 2"), "8");
    EXPECT_EQ(run("dbcc checkident ('u', noreseed)").messages.at(0).text,
              "Checking identity information: current identity value '8', current column value '50'.");
    run("dbcc checkident ('u')");  // no option: the current value rises to the highest in the column
    EXPECT_EQ(scalar("select ident_current('u')"), "50");
    EXPECT_EQ(run("dbcc checkident ('u', reseed, 1) with no_infomsgs").messages.size(), 0u);
    run("truncate table u");
    EXPECT_EQ(scalar("select ident_current('u')"), "1");
    run("insert u values (3)");
    EXPECT_EQ(scalar("select id from u"), "1");
    run("create table plain (a int)");
    EXPECT_EQ(errors("dbcc checkident ('plain')"), (std::vector<int>{7997}));
    EXPECT_EQ(errors("dbcc checkident ('nosuch')"), (std::vector<int>{2501}));
    EXPECT_EQ(errors("dbcc nosuch"), (std::vector<int>{2526}));

    run("select identity(int, 5, 5) as n, v into copied from t order by v");
    EXPECT_EQ(rows("select ident_seed('copied'), ident_incr('copied'), ident_current('copied')"), (Rows{{"5", "5", "20"}}));
}

TEST_F(SandboxConstraints, PropertyFunctionsDescribeColumnsObjectsAndDatabases) {
    run("create table t (id int identity primary key, amount decimal(10, 3), name nvarchar(30), memo ntext, "
        "note varchar(10) collate Latin1_General_CS_AS, stamp datetime not null check (stamp > 0))");
    run("create view v as select id from t");
    run("create function f (@a int) returns int as begin return @a end");
    run("create function g () returns table as return (select id from t)");
    run("create procedure p as select 1");
    run("create trigger tr on t for insert as select 1");
    EXPECT_EQ(rows("select columnproperty(object_id('t'), 'id', 'IsIdentity'), columnproperty(object_id('t'), 'name', 'IsIdentity'), "
                   "columnproperty(object_id('t'), 'amount', 'Precision'), columnproperty(object_id('t'), 'amount', 'Scale'), "
                   "columnproperty(object_id('t'), 'name', 'Precision'), columnproperty(object_id('t'), 'name', 'Scale'), "
                   "columnproperty(object_id('t'), 'memo', 'Precision'), columnproperty(object_id('t'), 'id', 'IsComputed'), "
                   "columnproperty(object_id('t'), 'nosuch', 'IsIdentity'), columnproperty(object_id('v'), 'id', 'Precision'), "
                   "columnproperty(object_id('t'), 'stamp', 'AllowsNull')"),
              (Rows{{"1", "0", "10", "3", "30", "NULL", "1073741823", "0", "NULL", "10", "0"}}));
    const std::pair<const char*, const char*> kinds[] = {
        {"t", "IsTable IsUserTable TableHasIdentity TableHasPrimaryKey TableHasCheckCnst TableHasClustIndex"},
        {"v", "IsView"}, {"f", "IsScalarFunction"}, {"g", "IsTableFunction IsInlineFunction"}, {"p", "IsProcedure"},
        {"tr", "IsTrigger"}};
    const char* all[] = {"IsTable", "IsUserTable", "IsView", "IsScalarFunction", "IsTableFunction", "IsInlineFunction",
                         "IsProcedure", "IsTrigger", "IsPrimaryKey", "IsUniqueCnst", "IsForeignKey", "IsCheckCnst",
                         "IsDefaultCnst"};
    for (const auto& [object, expected] : kinds)
        for (const char* property : all) {
            bool yes = (" " + std::string(expected) + " ").find(" " + std::string(property) + " ") != std::string::npos;
            EXPECT_EQ(scalar(std::string("select objectproperty(object_id('") + object + "'), '" + property + "')"), yes ? "1" : "0")
                << object << " " << property;
        }
    std::string key = scalar("select name from sysobjects where xtype = 'PK'");
    EXPECT_EQ(rows("select objectproperty(object_id('" + key + "'), 'IsPrimaryKey'), objectproperty(object_id('" + key +
                   "'), 'CnstIsClustKey'), objectproperty(object_id('v'), 'TableHasIdentity'), "
                   "objectproperty(object_id('t'), 'TableHasForeignKey'), objectproperty(12345, 'IsTable')"),
              (Rows{{"1", "1", "NULL", "0", "NULL"}}));
    EXPECT_EQ(rows("select databasepropertyex('shop', 'Collation'), databasepropertyex('nosuch', 'Collation')"),
              (Rows{{"Chinese_PRC_CI_AS", "NULL"}}));
}

TEST_F(SandboxConstraints, ColumnCollationsAreKeptForTheCatalogue) {
    run("create table c (a varchar(10) collate latin1_general_ci_as, b nvarchar(10), c char(2) collate Chinese_PRC_BIN, "
        "d text collate SQL_Latin1_General_CP1_CI_AS, e int)");
    EXPECT_EQ(rows("select name, collation, collationid from syscolumns where id = object_id('c') order by colid"),
              (Rows{{"a", "Latin1_General_CI_AS", "53256"},
                    {"b", "Chinese_PRC_CI_AS", "53284"},
                    {"c", "Chinese_PRC_BIN", std::to_string((0x10 << 12) | 36)},
                    {"d", "SQL_Latin1_General_CP1_CI_AS", "872468488"},
                    {"e", "NULL", "NULL"}}));
    // The TDS form: locale id, comparison flags, sort order id.
    EXPECT_EQ(rows("select name from syscolumns where id = object_id('c') and tdscollation = case colid "
                   "when 1 then 0x0904D00000 when 2 then 0x0408D00000 when 3 then 0x0408000100 when 4 then 0x0904D00034 "
                   "else 0x0000000000 end order by colid"),
              (Rows{{"a"}, {"b"}, {"c"}, {"d"}, {"e"}}));
    EXPECT_EQ(errors("create table bad (a varchar(10) collate Klingon_CI_AS)"), (std::vector<int>{448}));
    EXPECT_EQ(errors("create table bad (a varchar(10) collate Latin1_General_CI)"), (std::vector<int>{448}));
    EXPECT_EQ(errors("create table bad (a int collate Latin1_General_CI_AS)"), (std::vector<int>{447}));
}

TEST_F(SandboxConstraints, ForeignKeysAndCollationsSurviveBackupFiles) {
    createOrders();
    run("create table notes (id int primary key, body varchar(30) collate Latin1_General_CS_AS)");
    auto original = engine_.database("shop");
    Bytes content = serializeDatabase(*original);
    auto copy = deserializeDatabase(content, "shop", original->dbid());
    EXPECT_EQ(serializeDatabase(*copy), content);  // nothing lost or changed
    const auto& keys = copy->table("orders")->foreignKeys;
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].name, "fk_named");
    EXPECT_TRUE(keys[1].deleteCascade && keys[1].updateCascade);
    EXPECT_EQ(keys[0].columns, std::vector<size_t>{1});
    EXPECT_EQ(keys[0].referencedTableId, copy->table("customers")->id);
    EXPECT_EQ(copy->table("notes")->columns[1].collation, "Latin1_General_CS_AS");
}

// NOCHECK CONSTRAINT lets rows in that a constraint would refuse, for a script that copies rows
// in any order; WITH CHECK CHECK CONSTRAINT checks every row when it switches them on again.
TEST_F(SandboxConstraints, ConstraintsRestWhileSwitchedOffAndAreCheckedWhenSwitchedOn) {
    createOrders();
    run("create table kids (id int not null primary key, parent int references customers (id), age int check (age > 0))");
    run("create trigger tr_kids on kids for insert as return");
    EXPECT_EQ(errors("insert into kids values (1, 9, 1)"), std::vector<int>{547});
    EXPECT_TRUE(errors("alter table kids nocheck constraint all alter table kids disable trigger all").empty());
    EXPECT_TRUE(errors("insert into kids values (1, 9, -1)").empty());
    EXPECT_EQ(errors("alter table kids with check check constraint all"), std::vector<int>{547});
    run("insert into customers values (9, 'nine')");
    EXPECT_EQ(errors("alter table kids with check check constraint all"), std::vector<int>{547});  // the age
    run("update kids set age = 1");
    EXPECT_TRUE(errors("alter table kids with check check constraint all alter table kids enable trigger tr_kids").empty());
    EXPECT_EQ(errors("insert into kids values (2, 8, 1)"), std::vector<int>{547});
    // Without WITH CHECK the constraint comes back on without looking at the rows there.
    run("alter table kids nocheck constraint all insert into kids values (3, 7, 1)");
    EXPECT_TRUE(errors("alter table kids check constraint all").empty());
    EXPECT_EQ(errors("alter table kids nocheck constraint no_such"), std::vector<int>{4917});
    EXPECT_EQ(errors("alter table kids disable trigger no_such"), std::vector<int>{4920});
}
