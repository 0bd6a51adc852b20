#pragma once
// A database with every element a whole-schema script must recreate: identity columns with
// their seed, increment and current value, keys named and unnamed in an order other than the
// columns', clustered and nonclustered, unique and CHECK constraints, named defaults, a column
// collation, indexes with descending keys, foreign keys with cascades (one to itself, one to a
// table that sorts after it), views that depend on each other against name order, a
// procedure, scalar and table-valued functions, a trigger, table and column remarks.

#include <string>
#include <vector>

namespace makeddl::scripts::corpus {

inline std::vector<std::string> schemaBatches() {
  return {
      "create table orders (id int identity(100, 5) not null constraint PK_orders primary key nonclustered, "
      "placed datetime not null constraint DF_orders_placed default (getdate()), "
      "note varchar(50) collate Chinese_PRC_CS_AS null, total money null default (0))",
      "create table order_items (order_id int not null, line_no int not null, sku varchar(20) not null, "
      "qty int not null check (qty > 0), "
      "constraint PK_order_items primary key (line_no, order_id), "
      "constraint UQ_items_sku unique (order_id, sku), "
      "constraint ck_line check (line_no between 1 and 999), "
      "constraint FK_items_orders foreign key (order_id) references orders (id) on delete cascade)",
      "create index ix_items_sku on order_items (sku desc, qty)",
      "create table categories (id int not null primary key, parent int null references categories (id), "
      "name nvarchar(20) not null unique)",
      "create table a_products (sku varchar(20) not null primary key nonclustered, cat int null, "
      "constraint fk_prod_cat foreign key (cat) references categories (id) on update cascade)",
      "create unique clustered index ix_prod on a_products (sku)",
      "exec sp_addextendedproperty N'MS_Description', N'订单', N'user', N'dbo', N'table', N'orders'",
      "exec sp_addextendedproperty N'MS_Description', N'备注' + nchar(13) + nchar(10) + N'第二行', N'user', N'dbo', "
      "N'table', N'orders', N'column', N'note'",
      "exec sp_addextendedproperty N'MS_Description', N'数量', N'user', N'dbo', N'table', N'order_items', "
      "N'column', N'qty'",

      "insert into orders (placed, note, total) values ('2004-01-01', 'first', 10)",
      "insert into orders (placed, note, total) values ('2004-01-02', 'second', 20)",
      "insert into orders (placed, note, total) values ('2004-01-03', 'third', 30)",
      "delete from orders where id = 110",
      "insert into order_items values (100, 1, 'A-1', 2)",
      "insert into order_items values (100, 2, 'B-2', 1)",
      "insert into order_items values (105, 1, 'A-1', 5)",
      "insert into categories values (2, null, N'根')",
      "insert into categories values (1, 2, N'子')",
      "insert into a_products values ('A-1', 1)",
      "insert into a_products values ('B-2', 2)",

      "create view v_totals\r\nas\r\nselect o.id, sum(i.qty) as qty\r\nfrom orders o join order_items i on i.order_id = "
      "o.id\r\ngroup by o.id\r\n",
      "create view a_big_totals as select id, qty from v_totals where qty > 2",
      "create procedure p_items @order int as\r\nselect * from order_items where order_id = @order",
      "create function f_double (@x int) returns int as begin return @x * 2 end",
      "create function f_items (@order int) returns table as return (select sku, qty from order_items where "
      "order_id = @order)",
      "create trigger tr_orders on orders for insert as\r\nupdate orders set total = total where 1 = 0",
  };
}

// Objects in several schemas of a SQL Server 2005 or later database: names that dbo has too
// (a table and its key's name), a schema and a name that need brackets, an empty schema, a
// foreign key from one schema to another, an identity, an index, a view, a procedure, a
// function and a trigger outside dbo, remarks on a table and a column of a schema.
inline std::vector<std::string> schemaSpreadBatches() {
  return {
      "create schema sales",
      "create schema [my schema]",
      "create schema empty_one",
      "create table orders (id int not null constraint pk_orders primary key, note varchar(10) null)",
      "create table sales.orders (id int identity(10, 5) not null constraint pk_orders primary key, "
      "amount money not null default (0), note nvarchar(20) null)",
      "create table [my schema].[a.b] (k int not null primary key, v varchar(10) null check (v <> 'x'))",
      "create table sales.lines (order_id int not null, line int not null, qty int not null, "
      "constraint pk_lines primary key (order_id, line), "
      "constraint fk_lines_orders foreign key (order_id) references sales.orders (id) on delete cascade)",
      "create index ix_lines_qty on sales.lines (qty desc)",
      "create table refs (id int not null primary key, k int null references [my schema].[a.b] (k))",
      "create view sales.big_orders as select id, amount from sales.orders where amount > 100",
      "create procedure sales.add_order @amount money as insert into sales.orders (amount) values (@amount)",
      "create function sales.order_count() returns int as begin return (select count(*) from sales.orders) end",
      "create trigger sales.lines_added on sales.lines for insert as set nocount on",
      "exec sp_addextendedproperty N'MS_Description', N'销售订单', N'schema', N'sales', N'table', N'orders'",
      "exec sp_addextendedproperty N'MS_Description', N'金额', N'schema', N'sales', N'table', N'orders', "
      "N'column', N'amount'",
      "insert into orders values (1, 'dbo')",
      "insert into sales.orders (amount, note) values (150, N'大单')",
      "insert into sales.orders (amount) values (20)",
      "insert into sales.lines values (10, 1, 3)",
      "insert into sales.lines values (15, 1, 4)",
      "insert into [my schema].[a.b] values (7, 'seven')",
      "insert into refs values (1, 7)",
  };
}

}  // namespace makeddl::scripts::corpus
