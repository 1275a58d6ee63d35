"""pymssql against the gateway, in its default mode (autocommit off).

pymssql opens a unit of work with BEGIN TRAN at connect and after every commit and rollback,
and substitutes %s / %d parameters into the statement text itself. A second session (in
autocommit mode) checks what other sessions see: uncommitted rows stay invisible, committed ones
appear, rolled-back ones never do. Exits non-zero with a message at the first wrong value.
"""
import datetime
import decimal
import os
import sys

import pymssql

failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


def connect(autocommit=False):
    # pymssql always names a port, so it reaches the gateway by address; the freetds.conf that the
    # test environment writes gives every connection TDS 5.0.
    return pymssql.connect(
        server=os.environ["KWGW_HOST"],
        port=os.environ["KWGW_PORT"],
        user=os.environ["KWGW_USER"],
        password=os.environ["KWGW_PASSWORD"],
        database=os.environ["KWGW_DATABASE"],
        autocommit=autocommit,
    )


def scalar(conn, sql, params=None):
    cur = conn.cursor()
    cur.execute(sql, params)
    rows = cur.fetchall()
    cur.close()
    return rows[0][0] if rows else None


def keys(conn):
    cur = conn.cursor()
    cur.execute("SELECT K FROM CL_TX ORDER BY K")
    rows = [r[0] for r in cur.fetchall()]
    cur.close()
    return rows


work = connect()
other = connect(autocommit=True)

# The unit of work pymssql opened at connect, and none in the autocommit session.
check("@@trancount in the default mode", scalar(work, "SELECT @@TRANCOUNT"), 1)
check("@@trancount in autocommit mode", scalar(other, "SELECT @@TRANCOUNT"), 0)

# Work is held until commit: another session does not see it, the session itself does.
cur = work.cursor()
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (1, "one"))
check("insert row count", cur.rowcount, 1)
cur.executemany("INSERT INTO CL_TX VALUES (%d, %s)", [(2, "two"), (3, "it's three")])
check("own uncommitted rows", keys(work), [1, 2, 3])
check("another session before commit", keys(other), [])
work.commit()
check("another session after commit", keys(other), [1, 2, 3])
check("a quote in a parameter", scalar(other, "SELECT NOTE FROM CL_TX WHERE K = %d", 3), "it's three")

# Rollback undoes everything since the last commit, across several statements.
cur = work.cursor()
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (4, "four"))
cur.execute("UPDATE CL_TX SET NOTE = %s WHERE K = %d", ("changed", 1))
cur.execute("DELETE FROM CL_TX WHERE K = %d", 2)
check("own work before rollback", keys(work), [1, 3, 4])
work.rollback()
check("after rollback, this session", keys(work), [1, 2, 3])
check("after rollback, another session", keys(other), [1, 2, 3])
check("the update was undone", scalar(other, "SELECT NOTE FROM CL_TX WHERE K = 1"), "one")

# A failed statement undoes only itself, as in DB2: the unit of work goes on and commits.
cur = work.cursor()
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (5, "five"))
try:
    cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (1, "duplicate"))
    failures.append("a duplicate key was accepted")
except pymssql.Error as e:
    check("the duplicate key's SQLCODE is reported", "-803" in str(e), True)
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (6, "six"))
work.commit()
check("work around a failed statement is committed", keys(other), [1, 2, 3, 5, 6])

# Parameters of each type, written and read back as the gateway answers them (DECIMAL, DATE and
# TIMESTAMP as DB2's text forms).
cur = work.cursor()
cur.execute(
    "INSERT INTO CL_TYPES VALUES (%d, %s, %s, %s, %s)",
    (1, decimal.Decimal("1234.50"), "Zoë", datetime.date(2001, 3, 5),
     datetime.datetime(2001, 3, 5, 7, 43, 54, 120000)),
)
cur.execute("INSERT INTO CL_TYPES VALUES (%d, %s, %s, %s, %s)", (2, None, None, None, None))
work.commit()
cur = other.cursor()
cur.execute("SELECT K, AMOUNT, NAME, BORN, SEEN FROM CL_TYPES ORDER BY K")
rows = cur.fetchall()
check("typed rows", rows, [
    (1, "1234.50", "Zoë", "2001-03-05", "2001-03-05-07.43.54.120000"),
    (2, None, None, None, None),
])
cur.execute("SELECT K FROM CL_TYPES WHERE NAME = %s AND AMOUNT > %s", ("Zoë", decimal.Decimal("1000")))
check("parameters in a WHERE clause", cur.fetchall(), [(1,)])

cur.execute("SELECT K FROM CL_TYPES WHERE BORN = %s AND AMOUNT = %s",
            (datetime.date(2001, 3, 5), decimal.Decimal("1234.5")))
check("DATE and DECIMAL parameters in a WHERE clause", cur.fetchall(), [(1,)])

# A rollback after a failed statement undoes the unit of work's other statements too, and the
# session goes on.
cur = work.cursor()
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (9, "nine"))
try:
    cur.execute("UPDATE CL_TX SET K = %d WHERE K = %d", (1, 2))
    failures.append("an update to a duplicate key was accepted")
except pymssql.Error as e:
    check("the failed update's SQLCODE", "-803" in str(e), True)
work.rollback()
check("rollback after a failed statement", keys(other), [1, 2, 3, 5, 6])
check("the session goes on after the rollback", keys(work), [1, 2, 3, 5, 6])
work.commit()

# SET TRANSACTION ISOLATION LEVEL 3 (DB2 RR): rows another session commits later are not seen
# until this unit of work ends.
cur = work.cursor()
cur.execute("SET TRANSACTION ISOLATION LEVEL 3")
check("rows under RR", keys(work), [1, 2, 3, 5, 6])
other.cursor().execute("INSERT INTO CL_TX VALUES (%d, %s)", (7, "seven"))
check("a row committed meanwhile is not seen under RR", keys(work), [1, 2, 3, 5, 6])
try:
    cur.execute("SET TRANSACTION ISOLATION LEVEL 1")
    failures.append("the isolation level changed inside a unit of work")
except pymssql.Error:
    pass
work.commit()
check("the row is seen in the next unit of work", keys(work), [1, 2, 3, 5, 6, 7])
work.commit()
cur = work.cursor()
cur.execute("SET TRANSACTION ISOLATION LEVEL READ COMMITTED")
check("rows under CS", keys(work), [1, 2, 3, 5, 6, 7])
other.cursor().execute("DELETE FROM CL_TX WHERE K = %d", 7)
check("under CS a committed change is seen at once", keys(work), [1, 2, 3, 5, 6])

# Closing with work pending undoes it.
cur.execute("INSERT INTO CL_TX VALUES (%d, %s)", (8, "eight"))
work.close()
check("work pending at close is undone", keys(other), [1, 2, 3, 5, 6])
other.close()

for f in failures:
    print("FAIL:", f)
print(f"pymssql: {'failed' if failures else 'all checks passed'}")
sys.exit(1 if failures else 0)
