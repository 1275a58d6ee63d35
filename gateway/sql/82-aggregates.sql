-- 82-aggregates.sql - DB2's SUM in schema kwgw_fn, with DB2's result types.
--
-- DB2 sums SMALLINT and INTEGER as INTEGER (a total past its range is an arithmetic overflow),
-- DECIMAL as DECIMAL and FLOAT (REAL too) as FLOAT; PostgreSQL's own sum widens integers to bigint and
-- numeric. The dialect layer calls kwgw_fn.sum for every SUM. Like any SUM, each returns NULL
-- for no rows or only NULLs.

create or replace function kwgw_fn.sum_step(p_total integer, p_value smallint) returns integer
  language sql immutable parallel safe
  return case when p_value is null then p_total else coalesce(p_total, 0) + p_value end;

create or replace function kwgw_fn.sum_step(p_total numeric, p_value bigint) returns numeric
  language sql immutable parallel safe
  return case when p_value is null then p_total else coalesce(p_total, 0) + p_value end;

create or replace aggregate kwgw_fn.sum(smallint) (sfunc = kwgw_fn.sum_step, stype = integer);
create or replace aggregate kwgw_fn.sum(integer) (sfunc = pg_catalog.int4pl, stype = integer);
create or replace aggregate kwgw_fn.sum(bigint) (sfunc = kwgw_fn.sum_step, stype = numeric);
create or replace aggregate kwgw_fn.sum(numeric) (sfunc = pg_catalog.numeric_add, stype = numeric);
create or replace aggregate kwgw_fn.sum(double precision) (sfunc = pg_catalog.float8pl, stype = double precision);
