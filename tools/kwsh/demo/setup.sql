-- Run by the database superuser (PostgreSQL) before the demonstration session, once the DB2 users
-- DEMO and SMITH exist. SMITH keeps the stored requests: a stored request is a named statement
-- text in its owner's PCSQL_HOSTLIB, &NAME standing for an argument. DEMO may act for SMITH (a
-- member of his role): it reads his requests and creates tables under his name.
CREATE TABLE smith.pcsql_hostlib (req_name CHAR(12) NOT NULL, req_text VARCHAR(4046) NOT NULL);
INSERT INTO smith.pcsql_hostlib VALUES
  ('DEPTSTAFF', 'SELECT ID, NAME, TITLE FROM STAFF WHERE DEPT = &DEPT ORDER BY ID'),
  ('HEADCOUNT', 'SELECT COUNT(*) AS PEOPLE FROM STAFF; '
                'SELECT DEPT, COUNT(*) AS HEADS FROM STAFF GROUP BY DEPT ORDER BY DEPT');
ALTER TABLE smith.pcsql_hostlib OWNER TO smith;
GRANT smith TO demo;
