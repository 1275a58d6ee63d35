-- Tables the client scripts use, in JOE's schema and owned by JOE, as a DB2 user's tables are.
CREATE TABLE joe.cl_types (
    k integer PRIMARY KEY,
    amount numeric(9, 2),
    name varchar(20),
    born date,
    seen timestamp(6)
);
CREATE TABLE joe.cl_tx (k integer PRIMARY KEY, note varchar(20));
CREATE TABLE joe.cl_dept (deptno char(3) PRIMARY KEY, deptname varchar(30) NOT NULL);
CREATE TABLE joe.cl_emp (
    empno integer PRIMARY KEY,
    workdept char(3) REFERENCES joe.cl_dept ON DELETE RESTRICT
);
ALTER TABLE joe.cl_types OWNER TO joe;
ALTER TABLE joe.cl_tx OWNER TO joe;
ALTER TABLE joe.cl_dept OWNER TO joe;
ALTER TABLE joe.cl_emp OWNER TO joe;
