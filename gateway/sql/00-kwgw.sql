-- 00-kwgw.sql: the schemas of the gateway and what its session layer needs.
-- Idempotent: kwgateway init runs it on every install and upgrade.

CREATE SCHEMA IF NOT EXISTS kwgw;      -- side tables and helper functions of the gateway
CREATE SCHEMA IF NOT EXISTS kwgw_fn;   -- DB2 scalar functions, on every session's search path
CREATE SCHEMA IF NOT EXISTS sysibm;    -- the DB2 catalog views

GRANT USAGE ON SCHEMA kwgw, kwgw_fn, sysibm TO PUBLIC;

-- The version of the gateway's SQL objects installed in this database (one row).
CREATE TABLE IF NOT EXISTS kwgw.schema_version (
    id           integer PRIMARY KEY CHECK (id = 1),
    files        integer NOT NULL,
    content_hash text NOT NULL,
    installed_at timestamptz NOT NULL
);
GRANT SELECT ON kwgw.schema_version TO PUBLIC;

-- The text of the stored request p_name from the PCSQL_HOSTLIB of the first of p_schemas
-- (PostgreSQL schema names) that has the table and the request. Runs with the caller's
-- privileges; a table the caller may not read is skipped, so a lookup never fails.
CREATE OR REPLACE FUNCTION kwgw.stored_request_text(p_schemas text[], p_name text)
RETURNS text
LANGUAGE plpgsql STABLE
AS $fn$
DECLARE
    s text;
    t text;
BEGIN
    FOREACH s IN ARRAY p_schemas LOOP
        IF to_regclass(format('%I.pcsql_hostlib', s)) IS NULL THEN
            CONTINUE;
        END IF;
        BEGIN
            EXECUTE format('SELECT req_text::text FROM %I.pcsql_hostlib WHERE rtrim(req_name) = $1', s)
                INTO t USING p_name;
        EXCEPTION WHEN insufficient_privilege OR undefined_column THEN
            t := NULL;
        END;
        IF t IS NOT NULL THEN
            RETURN t;
        END IF;
    END LOOP;
    RETURN NULL;
END
$fn$;
GRANT EXECUTE ON FUNCTION kwgw.stored_request_text(text[], text) TO PUBLIC;
