-- The sample database of MakeDDL: tables, views, procedures, functions and a trigger that
-- show every feature of the tool. Batches are separated by lines holding only GO.
CREATE DATABASE sample_shop
GO
USE sample_shop
GO

-- Departments, with a Chinese remark on some columns and a default of (0).
CREATE TABLE t_dept (
    dept_id    int          NOT NULL PRIMARY KEY,
    dept_name  varchar(20)  NULL,
    budget     money        NOT NULL DEFAULT (0),
    created    datetime     NOT NULL DEFAULT (getdate())
)
GO
EXEC sp_addextendedproperty N'MS_Description', N'部门名称', N'user', N'dbo', N'table', N't_dept', N'column', N'dept_name'
EXEC sp_addextendedproperty N'MS_Description', N'年度预算', N'user', N'dbo', N'table', N't_dept', N'column', N'budget'
GO

-- Employees: nvarchar, decimal, bit, datetime with milliseconds, text, binary, uniqueidentifier.
CREATE TABLE 员工 (
    emp_id      int               NOT NULL,
    emp_name    nvarchar(20)      NOT NULL,
    dept_id     int               NULL,
    salary      decimal(18,2)     NULL,
    rate        float             NULL,
    active      bit               NOT NULL DEFAULT (1),
    hired       datetime          NULL,
    note        varchar(50)       NULL,
    resume      text              NULL,
    badge       binary(4)         NULL,
    photo_hash  varbinary(16)     NULL,
    row_guid    uniqueidentifier  NULL,
    CONSTRAINT PK_员工 PRIMARY KEY (emp_id)
)
GO
EXEC sp_addextendedproperty N'MS_Description', N'员工姓名', N'user', N'dbo', N'table', N'员工', N'column', N'emp_name'
GO

-- Order lines: a primary key over two columns, declared in another order than the columns.
CREATE TABLE order_items (
    order_id   int            NOT NULL,
    line_no    smallint       NOT NULL,
    item       nvarchar(40)   NOT NULL,
    quantity   int            NOT NULL DEFAULT (0),
    price      numeric(10,3)  NOT NULL,
    CONSTRAINT PK_order_items PRIMARY KEY (line_no, order_id)
)
GO

-- Office equipment: fixed-length and national text, small and big numbers, a picture, a value
-- of any type, and a row version that the server stamps on every change.
CREATE TABLE equipment (
    asset_no   char(8)        NOT NULL PRIMARY KEY,
    label      nchar(6)       NULL,
    floor_no   tinyint        NULL,
    serial_no  bigint         NULL,
    weight_kg  real           NULL,
    deposit    smallmoney     NULL,
    bought     smalldatetime  NULL,
    manual     ntext          NULL,
    picture    image          NULL,
    extra      sql_variant    NULL,
    row_ver    timestamp      NOT NULL
)
GO
EXEC sp_addextendedproperty N'MS_Description', N'资产编号', N'user', N'dbo', N'table', N'equipment', N'column', N'asset_no'
GO

-- A log without any index.
CREATE TABLE t_log (
    log_time  datetime      NOT NULL,
    msg       varchar(200)  NULL
)
GO

-- Numbers 0 to 9, to make a few thousand rows by joining them with themselves.
CREATE TABLE digits (d int NOT NULL PRIMARY KEY)
GO
INSERT INTO digits VALUES (0) INSERT INTO digits VALUES (1) INSERT INTO digits VALUES (2)
INSERT INTO digits VALUES (3) INSERT INTO digits VALUES (4) INSERT INTO digits VALUES (5)
INSERT INTO digits VALUES (6) INSERT INTO digits VALUES (7) INSERT INTO digits VALUES (8)
INSERT INTO digits VALUES (9)
GO

INSERT INTO t_dept (dept_id, dept_name, budget, created) VALUES (1, '研发部', 150000.50, '2003-01-15 09:30:00.123')
INSERT INTO t_dept (dept_id, dept_name, budget, created) VALUES (2, 'Sales', 80000, '2003-02-01 00:00:00')
INSERT INTO t_dept (dept_id, dept_name, budget) VALUES (3, 'O''Brien & Co', 0)
INSERT INTO t_dept (dept_id, dept_name, budget) VALUES (4, '', 10)
INSERT INTO t_dept (dept_id, dept_name, budget) VALUES (5, '   ', 20)
INSERT INTO t_dept (dept_id, dept_name, budget) VALUES (6, NULL, 30)
GO

INSERT INTO 员工 VALUES (1, N'王小明', 1, 12000.50, 0.1, 1, '2003-12-01 08:30:00.997', 'first', 'Long text about 王小明', 0x0A0B0C0D, 0x00FF, '6F9619FF-8B86-D011-B42D-00C04FC964FF')
INSERT INTO 员工 VALUES (2, N'O''Neil', 2, 2000, 1e-300, 0, '2003-12-15 00:00:00', '', '', 0x00000000, 0x, NULL)
INSERT INTO 员工 VALUES (3, N'김민수', 2, NULL, NULL, 1, NULL, '  ', NULL, NULL, NULL, NULL)
INSERT INTO 员工 (emp_id, emp_name) VALUES (4, N' 李 四 ')
GO

INSERT INTO order_items (order_id, line_no, item, quantity, price) VALUES (1001, 1, N'键盘', 2, 99.900)
INSERT INTO order_items (order_id, line_no, item, quantity, price) VALUES (1001, 2, N'Mouse', 1, 45.5)
INSERT INTO order_items (order_id, line_no, item, price) VALUES (1002, 1, N'显示器', 1299)
GO

INSERT INTO equipment (asset_no, label, floor_no, serial_no, weight_kg, deposit, bought, manual, picture, extra)
VALUES ('A-001', N'打印机', 3, 9007199254740993, 12.5, 199.99, '2004-03-01 14:30', N'先装纸，再开机。Load the paper first.', 0x89504E470D0A1A0A, N'蓝色')
INSERT INTO equipment (asset_no, label, floor_no, serial_no, weight_kg, deposit, bought, manual, picture, extra)
VALUES ('A-002', N'Desk', 0, -42, 0.1, -0.01, '1900-01-01', N'', 0x, N'')
INSERT INTO equipment (asset_no) VALUES ('B-1')
GO

-- A few thousand log lines.
INSERT INTO t_log (log_time, msg)
SELECT getdate(), 'entry ' + cast(a.d * 1000 + b.d * 100 + c.d * 10 + e.d as varchar(10))
FROM digits a, digits b, digits c, digits e
WHERE a.d < 3
GO

CREATE VIEW v_emp_dept AS
SELECT e.emp_id, e.emp_name, d.dept_name
FROM 员工 e LEFT JOIN t_dept d ON e.dept_id = d.dept_id
GO

CREATE VIEW v_big_orders AS
SELECT order_id, sum(quantity * price) AS total
FROM order_items
GROUP BY order_id
GO

CREATE PROCEDURE p_dept_emps @dept int AS
SELECT emp_id, emp_name, salary FROM 员工 WHERE dept_id = @dept
GO

CREATE PROCEDURE p_raise @dept int, @amount money AS
UPDATE 员工 SET salary = salary + @amount WHERE dept_id = @dept
GO

CREATE FUNCTION fn_dept_budget (@dept int) RETURNS money AS
BEGIN
    DECLARE @budget money
    SELECT @budget = budget FROM t_dept WHERE dept_id = @dept
    RETURN @budget
END
GO

CREATE FUNCTION fn_emps_in (@dept int) RETURNS TABLE AS
RETURN (SELECT emp_id, emp_name FROM 员工 WHERE dept_id = @dept)
GO

CREATE TRIGGER tr_dept_log ON t_dept FOR INSERT AS
INSERT INTO t_log (log_time, msg) SELECT getdate(), 'new department ' + dept_name FROM inserted
GO
