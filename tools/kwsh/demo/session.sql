-- The kwsh demonstration session: the driver at work through the DB2 gateway.
-- scripts/demo runs it as a fresh DB2 user; the tests run it as JOE on a fresh database. kwsh
-- connects through the driver's login dialog (--login-dialog): with every value given it shows no
-- form, and it checks the extended attribute catalog, creating it on the first connect. A second
-- user, SMITH, keeps the stored requests (the gateway runs his when we have none of the name),
-- lets us create tables under his name, and gets privileges from us.

\echo == Who we are
\conninfo

\echo == DDL: a table with a column of every DB2 type, and a small one beside it
CREATE TABLE DEPT (
    DEPTNO   SMALLINT NOT NULL,
    DEPTNAME VARCHAR(30),
    PRIMARY KEY (DEPTNO)
);
CREATE TABLE STAFF (
    ID      INTEGER NOT NULL,
    DEPT    SMALLINT,
    NAME    CHAR(10),
    TITLE   VARCHAR(30),
    SALARY  DECIMAL(9,2),
    RATING  FLOAT,
    HIRED   DATE,
    STARTS  TIME,
    CHANGED TIMESTAMP,
    NOTES   LONG VARCHAR,
    PRIMARY KEY (ID)
);

\echo == Inserts, with DB2 date, time and timestamp literals
INSERT INTO DEPT VALUES (10, 'Research');
INSERT INTO DEPT VALUES (20, 'Sales');
INSERT INTO STAFF VALUES (1, 10, 'Sanders', 'Manager', 18357.50, 4.5,
    '1990-06-15', '08.30.00', '2024-01-31-17.45.00.123456', 'Leads the research group.');
INSERT INTO STAFF VALUES (2, 10, 'Pernal', 'Analyst', 8171.25, 3.75,
    '2001-03-05', '07.43.54', '2001-03-05-07.43.54.000120', 'Two lines:
first, second.');
INSERT INTO STAFF VALUES (3, 20, 'O''Brien', 'Clerk', -0.50, -0.125,
    '1999-12-31', '23.59.58', '1999-12-31-23.59.58.999999', '');
INSERT INTO STAFF (ID, NAME) VALUES (4, 'Nobody');

\echo == The catalog through the driver: a table we may see, in full, and the indexes of another
\dt st*
\d STAFF
\di DEPT

\echo == A select of every type (NULL where nothing was given)
SELECT ID, DEPT, NAME, TITLE, SALARY, RATING, HIRED, STARTS, CHANGED, NOTES
  FROM STAFF ORDER BY ID;

\echo == A join
SELECT D.DEPTNAME, COUNT(*) AS HEADS, SUM(S.SALARY) AS PAYROLL
  FROM STAFF S, DEPT D
 WHERE S.DEPT = D.DEPTNO
 GROUP BY D.DEPTNAME
 ORDER BY D.DEPTNAME;

\echo == An error: the server's message, and the shell goes on
SELECT * FROM NOSUCHTABLE;

\echo == A long transaction rolled back, then a change committed
\begin
UPDATE STAFF SET SALARY = SALARY * 2 WHERE DEPT = 10;
\rollback
UPDATE STAFF SET DEPT = 10 WHERE ID = 3;
\commit
SELECT ID, DEPT, SALARY FROM STAFF WHERE ID < 4 ORDER BY ID;

\echo == Compile-only describe: the statement is compiled and described, not run
\describe SELECT ID, NAME, SALARY, HIRED, STARTS, CHANGED, NOTES FROM STAFF
\describe DELETE FROM STAFF

\echo == CSV output
\format csv
SELECT ID, NAME, SALARY, HIRED, NOTES FROM STAFF ORDER BY ID;
\format aligned
SELECT COUNT(*) AS STILL_FOUR FROM STAFF;

\echo == Variables, as psql has them: :'NAME' puts a value in as a quoted literal
\set who 'O''Brien'
\set cols 'ID, NAME, TITLE'
SELECT :cols FROM STAFF WHERE NAME = :'who';

\echo == One row as a record (expanded display), NULL shown as chosen
\pset null (none)
\x on
SELECT ID, NAME, TITLE, SALARY, HIRED FROM STAFF WHERE ID = 4;
\x off
\pset null NULL

\echo == A view and its text
CREATE VIEW RESEARCH AS SELECT ID, NAME FROM STAFF WHERE DEPT = 10;
\dv RESEARCH

\echo == A table read back as DDL
\ddl DEPT

-- The same statements made for another owner and run: SMITH gets a DEPT of his own.
\echo == The table recreated for SMITH
\ddl --run SMITH DEPT
INSERT INTO SMITH.DEPT SELECT * FROM DEPT;
SELECT DEPTNO, DEPTNAME FROM SMITH.DEPT ORDER BY DEPTNO;

-- Labels, headings, formats and comments live in the extended attribute catalog the login
-- created; they are stored by the driver's statements and read back through its requests.
\echo == Extended attributes set and read back
\attrs STAFF salary label='Salary:' heading='Yearly pay' format='$#,##0.00' comment='Before tax'
\attrs STAFF - comment='Who works here'
\attrs STAFF

-- A stored request is a named statement text in its owner's PCSQL_HOSTLIB; the profile names
-- SMITH as the owner whose requests are listed.
\echo == Stored requests: the list, one text, and runs (with an argument; the second result set)
\requests
\request DEPTSTAFF
\call DEPTSTAFF &DEPT = 10
\call HEADCOUNT #2

-- The Table Security dialog played from the script: each GRANT and REVOKE it sends is shown.
\echo == Privileges through the Table Security dialog: grant, then revoke
\security DEPT user=SMITH +select +update columns=deptname show done
\security DEPT user=SMITH show -select -update done
