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
-- One column of each DB2 type, as the gateway's DDL makes them (LONG VARCHAR is text, TIME has
-- no fraction, TIMESTAMP six digits), for the clients that read every type.
CREATE TABLE joe.cl_all (
    k integer PRIMARY KEY,
    si smallint,
    dec numeric(11, 3),
    fl double precision,
    ch char(5),
    vc varchar(30),
    lv text,
    dt date,
    tm time(0),
    ts timestamp(6)
);
CREATE INDEX cl_emp_dept ON joe.cl_emp (workdept);
CREATE VIEW joe.cl_emp_v AS SELECT empno, workdept FROM joe.cl_emp;
ALTER TABLE joe.cl_all OWNER TO joe;
ALTER VIEW joe.cl_emp_v OWNER TO joe;
