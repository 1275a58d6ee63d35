// JtdsClient.java - jTDS (Debian libjtds-java), the JDBC driver of Java programs that reached the DB2
// gateway over Sybase TDS 5.0, against a live gateway: connect and server information, every DB2 type
// read through the getters JDBC programs use, prepared statements with parameters of every type
// under each of jTDS's ways of preparing, batches, units of work checked from a second connection,
// and the DatabaseMetaData calls that list tables, columns, keys and indexes.
//
// Usage: java -cp kwclient_jtds.jar:jtds.jar JtdsClient --probe   exits 0 when jTDS can be loaded;
//        java -cp ... JtdsClient    runs the checks against the gateway named by KWGW_HOST, KWGW_PORT,
//                                   KWGW_DATABASE, KWGW_USER and KWGW_PASSWORD.
// Each wrong value is printed; the exit status is 1 when any check failed.
import java.math.BigDecimal;
import java.sql.BatchUpdateException;
import java.sql.Clob;
import java.sql.Connection;
import java.sql.DatabaseMetaData;
import java.sql.DriverManager;
import java.sql.PreparedStatement;
import java.sql.ResultSet;
import java.sql.ResultSetMetaData;
import java.sql.SQLException;
import java.sql.Statement;
import java.sql.Time;
import java.sql.Timestamp;
import java.sql.Types;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

public final class JtdsClient {
    private static final String DRIVER = "net.sourceforge.jtds.jdbc.Driver";
    private static final List<String> failures = new ArrayList<>();

    private JtdsClient() {}

    // --- checks ---------------------------------------------------------------------------------

    static void check(String what, Object got, Object expected) {
        boolean same = got instanceof int[] && expected instanceof int[] ? Arrays.equals((int[]) got, (int[]) expected)
                                                                        : Objects.equals(got, expected);
        if (!same) {
            failures.add(what + ": got " + show(got) + ", expected " + show(expected));
        }
    }

    static String show(Object v) {
        if (v == null) {
            return "null";
        }
        if (v instanceof int[]) {
            return Arrays.toString((int[]) v);
        }
        return v.getClass().getSimpleName() + " '" + v + "'";
    }

    interface Action {
        Object run() throws Exception;
    }

    // The value an action gives, or the text of the SQLException it raises ("failed: ...").
    static Object outcome(Action action) {
        try {
            return action.run();
        } catch (SQLException e) {
            return "failed: " + e.getMessage();
        } catch (Exception e) {
            return "threw " + e;
        }
    }

    // Checks that an action fails with an SQLException whose text holds `part`.
    static void expectFailure(String what, Action action, String part) {
        Object o = outcome(action);
        if (!(o instanceof String) || !((String) o).startsWith("failed: ") || !((String) o).contains(part)) {
            failures.add(what + ": got " + show(o) + ", expected a failure naming '" + part + "'");
        }
    }

    // --- connections ----------------------------------------------------------------------------

    static String env(String name) {
        String v = System.getenv(name);
        if (v == null) {
            throw new IllegalStateException(name + " must be set");
        }
        return v;
    }

    // The gateway as a Sybase server spoken to in TDS 5.0, in UTF-8, with `extra` properties
    // (";prepareSQL=0" ...).
    static Connection connect(String extra) throws SQLException {
        String url = "jdbc:jtds:sybase://" + env("KWGW_HOST") + ":" + env("KWGW_PORT") + "/" + env("KWGW_DATABASE")
                + ";TDS=5.0;charset=utf8;appName=kwclient_jtds" + extra;
        return DriverManager.getConnection(url, env("KWGW_USER"), env("KWGW_PASSWORD"));
    }

    static List<Object> column(Connection c, String sql) throws SQLException {
        List<Object> out = new ArrayList<>();
        try (Statement s = c.createStatement(); ResultSet rs = s.executeQuery(sql)) {
            while (rs.next()) {
                out.add(rs.getObject(1));
            }
        }
        return out;
    }

    static Object scalar(Connection c, String sql) throws SQLException {
        List<Object> values = column(c, sql);
        return values.isEmpty() ? null : values.get(0);
    }

    static List<Object> keys(Connection c) throws SQLException {
        return column(c, "SELECT K FROM CL_TX ORDER BY K");
    }

    static List<Object> ints(int... values) {
        List<Object> out = new ArrayList<>();
        for (int v : values) {
            out.add(v);
        }
        return out;
    }

    static int update(Connection c, String sql) throws SQLException {
        try (Statement s = c.createStatement()) {
            return s.executeUpdate(sql);
        }
    }

    // --- connect and server information ---------------------------------------------------------

    // jTDS logs in, sets its session defaults in one batch (isolation 1, chained off, quoted
    // identifiers, text size) and learns the server from the login acknowledgement: the gateway's
    // product and version, the database, no warnings left over from the login.
    static void serverInfo(Connection c) throws SQLException {
        DatabaseMetaData md = c.getMetaData();
        check("product name", md.getDatabaseProductName(), "kwgateway");
        // The login acknowledgement says 15.7.0; jTDS shows a Sybase version as major.(minor*10+sub).
        check("product version", md.getDatabaseProductVersion(), "15.70");
        check("major version", md.getDatabaseMajorVersion(), 15);
        check("driver", md.getDriverName().startsWith("jTDS"), true);
        check("catalog", c.getCatalog(), env("KWGW_DATABASE"));
        check("user name", md.getUserName(), "JOE");
        check("warnings after connect", c.getWarnings(), null);
        check("autocommit after connect", c.getAutoCommit(), true);
        check("isolation after connect", c.getTransactionIsolation(), Connection.TRANSACTION_READ_COMMITTED);
        check("no unit of work after connect", scalar(c, "SELECT @@TRANCOUNT"), 0);
        check("DB2 SQL after connect", scalar(c, "SELECT COUNT(*) FROM SYSIBM.SYSTABLES WHERE NAME = 'CL_TX'"),
                1);
    }

    // --- every DB2 type through the getters -----------------------------------------------------

    // One column of CL_ALL: its name, the JDBC type jTDS reports for it, and what each getter
    // gives for the row with K = 1 (an action's value, or "failed: ..." when the getter cannot
    // convert the gateway's DB2 text form).
    static final class Getter {
        final String name;
        final Action action;
        final Object expected;

        Getter(String name, Action action, Object expected) {
            this.name = name;
            this.action = action;
            this.expected = expected;
        }
    }

    static final String ROW_ONE = "INSERT INTO CL_ALL VALUES (1, -32768, 1234.567, 2.5E0, 'ab', 'O''Brien',"
            + " 'a long text', '2001-03-05', '07.43.54', '2001-03-05-07.43.54.000120')";

    static final String[] ALL_COLUMNS = {"K", "SI", "DEC", "FL", "CH", "VC", "LV", "DT", "TM", "TS"};

    // The JDBC types of CL_ALL's columns: DECIMAL, DATE, TIME and TIMESTAMP travel as DB2's text
    // forms in CHAR columns, LONG VARCHAR as TEXT, which jTDS (useLOBs on, its default) calls CLOB.
    static final int[] ALL_TYPES = {Types.INTEGER, Types.SMALLINT, Types.CHAR, Types.DOUBLE, Types.CHAR,
        Types.VARCHAR, Types.CLOB, Types.CHAR, Types.CHAR, Types.CHAR};

    // What a getter gives when it cannot convert the column's text: an SQLException whose message
    // names the JDBC type it was asked for.
    static final class Refusal {
        final String type;

        Refusal(String type) {
            this.type = type;
        }

        boolean matches(Object outcome) {
            return outcome instanceof String && ((String) outcome).startsWith("failed: ")
                    && ((String) outcome).endsWith(" to " + type + ".");
        }

        @Override
        public String toString() {
            return "a failure converting to " + type;
        }
    }

    static void types(Connection c) throws SQLException {
        check("insert of a row of every type", update(c, ROW_ONE), 1);
        check("insert of a row of NULLs", update(c, "INSERT INTO CL_ALL (K) VALUES (2)"), 1);
        try (Statement s = c.createStatement();
             ResultSet rs = s.executeQuery("SELECT " + String.join(", ", ALL_COLUMNS) + " FROM CL_ALL ORDER BY K")) {
            ResultSetMetaData md = rs.getMetaData();
            check("column count", md.getColumnCount(), ALL_COLUMNS.length);
            for (int i = 0; i < ALL_COLUMNS.length; i++) {
                check("label of column " + (i + 1), md.getColumnLabel(i + 1), ALL_COLUMNS[i]);
                check("JDBC type of " + ALL_COLUMNS[i], md.getColumnType(i + 1), ALL_TYPES[i]);
            }
            check("row 1", rs.next(), true);
            for (Getter g : rowOneGetters(rs)) {
                Object got = outcome(g.action);
                if (g.expected instanceof Refusal) {
                    check(g.name, ((Refusal) g.expected).matches(got) ? g.expected : got, g.expected);
                } else {
                    check(g.name, got, g.expected);
                }
            }
            check("row 2", rs.next(), true);
            for (String col : ALL_COLUMNS) {
                if (col.equals("K")) {
                    continue;
                }
                check("NULL " + col + " by getObject", rs.getObject(col), null);
                check("NULL " + col + " by getString", rs.getString(col), null);
                check("NULL " + col + " is NULL", rs.wasNull(), true);
            }
            check("NULL SI by getInt", rs.getInt("SI"), 0);
            check("NULL DEC by getBigDecimal", rs.getBigDecimal("DEC"), null);
            check("NULL DT by getDate", rs.getDate("DT"), null);
            check("NULL TS by getTimestamp", rs.getTimestamp("TS"), null);
            check("two rows", rs.next(), false);
        }
    }

    static List<Getter> rowOneGetters(ResultSet rs) {
        return List.of(
                new Getter("INTEGER by getObject", () -> rs.getObject("K"), 1),
                new Getter("INTEGER by getInt", () -> rs.getInt("K"), 1),
                new Getter("INTEGER by getString", () -> rs.getString("K"), "1"),
                new Getter("INTEGER by getBigDecimal", () -> rs.getBigDecimal("K"), new BigDecimal("1")),
                new Getter("SMALLINT by getObject", () -> rs.getObject("SI"), -32768),
                new Getter("SMALLINT by getShort", () -> rs.getShort("SI"), (short) -32768),
                new Getter("SMALLINT by getString", () -> rs.getString("SI"), "-32768"),
                // DECIMAL arrives as its DB2 text with the column's scale: a String to getObject,
                // a number to the numeric getters.
                new Getter("DECIMAL by getObject", () -> rs.getObject("DEC"), "1234.567"),
                new Getter("DECIMAL by getBigDecimal", () -> rs.getBigDecimal("DEC"), new BigDecimal("1234.567")),
                new Getter("DECIMAL by getDouble", () -> rs.getDouble("DEC"), 1234.567),
                new Getter("FLOAT by getObject", () -> rs.getObject("FL"), 2.5),
                new Getter("FLOAT by getDouble", () -> rs.getDouble("FL"), 2.5),
                new Getter("FLOAT by getBigDecimal", () -> rs.getBigDecimal("FL"), new BigDecimal("2.5")),
                new Getter("FLOAT by getInt", () -> rs.getInt("FL"), 2),
                new Getter("CHAR by getString: padded to its length", () -> rs.getString("CH"), "ab   "),
                new Getter("CHAR by getObject", () -> rs.getObject("CH"), "ab   "),
                new Getter("VARCHAR by getString", () -> rs.getString("VC"), "O'Brien"),
                new Getter("LONG VARCHAR by getString", () -> rs.getString("LV"), "a long text"),
                // With useLOBs on (jTDS's default) a TEXT column is a Clob.
                new Getter("LONG VARCHAR by getObject", () -> clobText(rs.getObject("LV")), "Clob 'a long text'"),
                new Getter("DATE by getString", () -> rs.getString("DT"), "2001-03-05"),
                new Getter("DATE by getObject", () -> rs.getObject("DT"), "2001-03-05"),
                new Getter("DATE by getDate", () -> rs.getDate("DT"), java.sql.Date.valueOf("2001-03-05")),
                new Getter("DATE by getTimestamp", () -> rs.getTimestamp("DT"), Timestamp.valueOf("2001-03-05 00:00:00")),
                new Getter("TIME by getString: DB2's form", () -> rs.getString("TM"), "07.43.54"),
                new Getter("TIMESTAMP by getString: DB2's form", () -> rs.getString("TS"), "2001-03-05-07.43.54.000120"),
                // jTDS reads a time from text only in JDBC's escape form (hh:mm:ss, yyyy-mm-dd
                // hh:mm:ss): DB2's forms of TIME and TIMESTAMP are refused.
                new Getter("TIME by getTime", () -> rs.getTime("TM"), new Refusal("TIME")),
                new Getter("TIMESTAMP by getTimestamp", () -> rs.getTimestamp("TS"), new Refusal("TIMESTAMP")));
    }

    static String clobText(Object o) throws SQLException {
        if (!(o instanceof Clob)) {
            return "not a Clob: " + show(o);
        }
        Clob clob = (Clob) o;
        return "Clob '" + clob.getSubString(1, (int) clob.length()) + "'";
    }

    // --- prepared statements --------------------------------------------------------------------

    // jTDS's ways of sending a prepared statement to a Sybase server in TDS 5.0: 1 (its default)
    // prepares it once as a dynamic statement (`create proc jtds000001 as ...`) and executes that
    // with the values; 2 sends a language request whose markers are @P0, @P1 ... with the values
    // as unnamed parameters (0 and 3 do the same as 2 in TDS 5.0).
    static final int[] PREPARE_MODES = {1, 2};

    // One row written with a parameter of each type, and the row as the gateway then answers it.
    static final class TypedRow {
        final int key;
        final short si;
        final String dec;
        final double fl;
        final String ch;
        final String vc;
        final String lv;
        final String dt;
        final String tm;
        final String ts;
        final String[] expected;  // SI .. TS as getString gives them back

        TypedRow(int key, short si, String dec, double fl, String ch, String vc, String lv, String dt, String tm,
                String ts, String... expected) {
            this.key = key;
            this.si = si;
            this.dec = dec;
            this.fl = fl;
            this.ch = ch;
            this.vc = vc;
            this.lv = lv;
            this.dt = dt;
            this.tm = tm;
            this.ts = ts;
            this.expected = expected;
        }
    }

    static final TypedRow[] TYPED_ROWS = {
        new TypedRow(0, (short) 7, "-0.005", 1.0e-3, "x", "it's", "long", "2024-02-29", "23:59:58",
                "2023-12-31 23:59:58.5", "7", "-0.005", "0.001", "x    ", "it's", "long", "2024-02-29", "23.59.58",
                "2023-12-31-23.59.58.500000"),
        new TypedRow(1, (short) -1, "99999999.999", -2.5e10, "abcde", "Zoë", "ünïcode text", "1900-01-01", "00:00:00",
                "1999-01-01 00:00:00", "-1", "99999999.999", "-2.5E10", "abcde", "Zoë", "ünïcode text", "1900-01-01",
                "00.00.00", "1999-01-01-00.00.00.000000"),
    };

    static void preparedStatements() throws SQLException {
        try (Connection check = connect("")) {
            for (int mode : PREPARE_MODES) {
                try (Connection c = connect(";prepareSQL=" + mode)) {
                    preparedInsert(c, mode);
                    preparedSelect(c, check, mode);
                }
            }
        }
    }

    static int keyOf(int mode, int row) {
        return 100 * (mode + 1) + row;
    }

    // The INSERT is executed once per row with every setter, then once with setNull for all
    // but the key.
    static void preparedInsert(Connection c, int mode) throws SQLException {
        String what = "prepareSQL=" + mode + ": ";
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO CL_ALL VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) {
            for (TypedRow r : TYPED_ROWS) {
                ps.setInt(1, keyOf(mode, r.key));
                ps.setShort(2, r.si);
                ps.setBigDecimal(3, new BigDecimal(r.dec));
                ps.setDouble(4, r.fl);
                ps.setString(5, r.ch);
                ps.setString(6, r.vc);
                ps.setString(7, r.lv);
                ps.setDate(8, java.sql.Date.valueOf(r.dt));
                ps.setTime(9, Time.valueOf(r.tm));
                ps.setTimestamp(10, Timestamp.valueOf(r.ts));
                check(what + "insert of row " + keyOf(mode, r.key), ps.executeUpdate(), 1);
            }
            ps.setInt(1, keyOf(mode, 9));
            ps.setNull(2, Types.SMALLINT);
            ps.setNull(3, Types.DECIMAL);
            ps.setNull(4, Types.DOUBLE);
            ps.setNull(5, Types.CHAR);
            ps.setNull(6, Types.VARCHAR);
            ps.setNull(7, Types.LONGVARCHAR);
            ps.setNull(8, Types.DATE);
            ps.setNull(9, Types.TIME);
            ps.setNull(10, Types.TIMESTAMP);
            check(what + "insert of NULLs", ps.executeUpdate(), 1);
        }
    }

    // The SELECT is executed once per key with the key as its parameter; the row is read back on
    // this connection and, as text, on a connection of jTDS's defaults.
    static void preparedSelect(Connection c, Connection other, int mode) throws SQLException {
        String what = "prepareSQL=" + mode + ": ";
        String sql = "SELECT SI, DEC, FL, CH, VC, LV, DT, TM, TS FROM CL_ALL WHERE K = ?";
        try (PreparedStatement ps = c.prepareStatement(sql)) {
            for (TypedRow r : TYPED_ROWS) {
                ps.setInt(1, keyOf(mode, r.key));
                check(what + "row " + keyOf(mode, r.key), rowText(ps), Arrays.asList(r.expected));
            }
            ps.setInt(1, keyOf(mode, 9));
            check(what + "row of NULLs", rowText(ps), Arrays.asList(new String[9]));
            ps.setInt(1, -1);
            check(what + "no row", rowText(ps), null);
        }
        try (PreparedStatement ps = other.prepareStatement("SELECT COUNT(*) FROM CL_ALL WHERE K BETWEEN ? AND ?")) {
            ps.setInt(1, keyOf(mode, 0));
            ps.setInt(2, keyOf(mode, 9));
            try (ResultSet rs = ps.executeQuery()) {
                check(what + "rows seen by another connection", rs.next() ? rs.getInt(1) : -1, 3);
            }
        }
        // A character parameter compared with a CHAR column, and a quote that must stay data.
        try (PreparedStatement ps = c.prepareStatement("SELECT K FROM CL_ALL WHERE VC = ? AND K BETWEEN ? AND ?")) {
            ps.setString(1, "it's");
            ps.setInt(2, keyOf(mode, 0));
            ps.setInt(3, keyOf(mode, 9));
            try (ResultSet rs = ps.executeQuery()) {
                check(what + "a quote in a parameter", rs.next() ? rs.getInt(1) : -1, keyOf(mode, 0));
            }
        }
    }

    // The one row a prepared query returns, every column as getString gives it; null for none.
    static List<String> rowText(PreparedStatement ps) throws SQLException {
        try (ResultSet rs = ps.executeQuery()) {
            if (!rs.next()) {
                return null;
            }
            List<String> out = new ArrayList<>();
            for (int i = 1; i <= rs.getMetaData().getColumnCount(); i++) {
                out.add(rs.getString(i));
            }
            return out;
        }
    }

    // --- batches --------------------------------------------------------------------------------

    static void batches(Connection c) throws SQLException {
        update(c, "DELETE FROM CL_TX");
        try (Statement s = c.createStatement()) {
            s.addBatch("INSERT INTO CL_TX VALUES (1, 'one')");
            s.addBatch("INSERT INTO CL_TX VALUES (2, 'two')");
            s.addBatch("UPDATE CL_TX SET NOTE = 'changed'");
            s.addBatch("DELETE FROM CL_TX WHERE K > 10");
            check("Statement batch counts", s.executeBatch(), new int[] {1, 1, 2, 0});
        }
        try (PreparedStatement ps = c.prepareStatement("INSERT INTO CL_TX VALUES (?, ?)")) {
            for (int k = 3; k <= 5; k++) {
                ps.setInt(1, k);
                ps.setString(2, "row " + k);
                ps.addBatch();
            }
            check("PreparedStatement batch counts", ps.executeBatch(), new int[] {1, 1, 1});
        }
        check("rows after the batches", keys(c), ints(1, 2, 3, 4, 5));
        try (PreparedStatement ps = c.prepareStatement("UPDATE CL_TX SET NOTE = ? WHERE K >= ?")) {
            ps.setString(1, "a");
            ps.setInt(2, 5);
            ps.addBatch();
            ps.setString(1, "b");
            ps.setInt(2, 2);
            ps.addBatch();
            check("PreparedStatement batch of updates", ps.executeBatch(), new int[] {1, 4});
        }
        // A statement of a batch that fails, fails alone, as in DB2: it reports its SQLCODE and the
        // statements after it still run, as in a Sybase batch.
        try (Statement s = c.createStatement()) {
            s.addBatch("INSERT INTO CL_TX VALUES (6, 'six')");
            s.addBatch("INSERT INTO CL_TX VALUES (1, 'duplicate')");
            s.addBatch("INSERT INTO CL_TX VALUES (7, 'seven')");
            s.executeBatch();
            failures.add("a batch with a duplicate key succeeded");
        } catch (BatchUpdateException e) {
            check("the failed batch names the duplicate key", e.getMessage().contains("-803"), true);
            check("counts of a batch with a failed statement", e.getUpdateCounts(),
                    new int[] {1, Statement.EXECUTE_FAILED, 1});
        }
        check("rows after the failed batch", keys(c), ints(1, 2, 3, 4, 5, 6, 7));
    }

    // --- units of work --------------------------------------------------------------------------

    static void transactions(Connection work, Connection other) throws SQLException {
        update(other, "DELETE FROM CL_TX");
        work.setAutoCommit(false);
        check("@@trancount before any work", scalar(work, "SELECT @@TRANCOUNT"), 0);
        update(work, "INSERT INTO CL_TX VALUES (1, 'one')");
        try (PreparedStatement ps = work.prepareStatement("INSERT INTO CL_TX VALUES (?, ?)")) {
            ps.setInt(1, 2);
            ps.setString(2, "two");
            ps.executeUpdate();
        }
        check("own uncommitted rows", keys(work), ints(1, 2));
        check("@@trancount in the unit of work", scalar(work, "SELECT @@TRANCOUNT"), 1);
        check("another connection before commit", keys(other), ints());
        work.commit();
        check("another connection after commit", keys(other), ints(1, 2));
        check("@@trancount after commit", scalar(work, "SELECT @@TRANCOUNT"), 0);

        update(work, "INSERT INTO CL_TX VALUES (3, 'three')");
        update(work, "UPDATE CL_TX SET NOTE = 'changed' WHERE K = 1");
        update(work, "DELETE FROM CL_TX WHERE K = 2");
        check("own work before rollback", keys(work), ints(1, 3));
        work.rollback();
        check("after rollback, this connection", keys(work), ints(1, 2));
        check("after rollback, another connection", keys(other), ints(1, 2));
        check("the update was undone", scalar(other, "SELECT NOTE FROM CL_TX WHERE K = 1"), "one");

        // A failed statement undoes only itself; the unit of work goes on and commits.
        update(work, "INSERT INTO CL_TX VALUES (4, 'four')");
        expectFailure("a duplicate key inside a unit of work",
                () -> update(work, "INSERT INTO CL_TX VALUES (1, 'again')"), "-803");
        update(work, "INSERT INTO CL_TX VALUES (5, 'five')");
        work.commit();
        check("work around a failed statement is committed", keys(other), ints(1, 2, 4, 5));

        // RR (isolation 3): a row another connection commits meanwhile is not seen until the unit
        // of work ends.
        work.setTransactionIsolation(Connection.TRANSACTION_SERIALIZABLE);
        check("rows under RR", keys(work), ints(1, 2, 4, 5));
        update(other, "INSERT INTO CL_TX VALUES (6, 'six')");
        check("a row committed meanwhile is not seen under RR", keys(work), ints(1, 2, 4, 5));
        work.commit();
        check("the row is seen in the next unit of work", keys(work), ints(1, 2, 4, 5, 6));
        work.commit();
        work.setTransactionIsolation(Connection.TRANSACTION_READ_COMMITTED);

        // Switching autocommit on commits what is pending.
        update(work, "DELETE FROM CL_TX WHERE K = 6");
        work.setAutoCommit(true);
        check("switching autocommit on commits", keys(other), ints(1, 2, 4, 5));
        check("@@trancount in autocommit", scalar(work, "SELECT @@TRANCOUNT"), 0);

        // Closing with work pending undoes it.
        work.setAutoCommit(false);
        update(work, "INSERT INTO CL_TX VALUES (7, 'seven')");
        work.close();
        check("work pending at close is undone", keys(other), ints(1, 2, 4, 5));
    }

    // A failed statement in autocommit mode: the SQLCODE in the message, the gateway's message
    // number as the error code, and the connection goes on.
    static void failures(Connection c) throws SQLException {
        try (Statement s = c.createStatement()) {
            s.executeQuery("SELECT NO_SUCH_COLUMN FROM CL_TX");
            failures.add("an unknown column was accepted");
        } catch (SQLException e) {
            check("unknown column: SQLCODE", e.getMessage().contains("error code -206"), true);
            check("unknown column: message number", e.getErrorCode(), 21002);
            SQLException next = e.getNextException();
            check("unknown column: the DB2 text follows",
                    next != null && next.getMessage().startsWith("DG21000: ") && next.getMessage().contains("NO_SUCH_COLUMN"),
                    true);
        }
        check("the connection goes on", scalar(c, "SELECT COUNT(*) FROM CL_TX"), 4);
    }

    // --- DatabaseMetaData -----------------------------------------------------------------------

    // The rows of a metadata result, each as the named columns' getString values.
    static List<List<String>> rows(ResultSet rs, String... columns) throws SQLException {
        List<List<String>> out = new ArrayList<>();
        try (rs) {
            while (rs.next()) {
                List<String> row = new ArrayList<>();
                for (String col : columns) {
                    row.add(rs.getString(col));
                }
                out.add(row);
            }
        }
        return out;
    }

    static List<List<String>> expectRows(String[]... rows) {
        List<List<String>> out = new ArrayList<>();
        for (String[] r : rows) {
            out.add(Arrays.asList(r));
        }
        return out;
    }

    interface Metadata {
        ResultSet call() throws SQLException;
    }

    // One DatabaseMetaData call: the named columns of its rows, or the failure it raised, so that
    // a call that fails does not hide the checks of the others.
    static void checkRows(String what, Metadata call, String[] columns, List<List<String>> expected) {
        check(what, outcome(() -> rows(call.call(), columns)), expected);
    }

    static void metadata(Connection c) throws SQLException {
        DatabaseMetaData md = c.getMetaData();
        // jTDS writes the escape of a pattern's _ as [_], as Sybase's LIKE reads it.
        checkRows("getTables of JOE's CL_ tables", () -> md.getTables(null, "JOE", "CL\\_%", new String[] {"TABLE"}),
                new String[] {"TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE"},
                expectRows(new String[] {"JOE", "CL_ALL", "TABLE"}, new String[] {"JOE", "CL_DEPT", "TABLE"},
                        new String[] {"JOE", "CL_EMP", "TABLE"}, new String[] {"JOE", "CL_TX", "TABLE"},
                        new String[] {"JOE", "CL_TYPES", "TABLE"}));
        checkRows("getTables of both types", () -> md.getTables(null, "JOE", "CL_EMP%", new String[] {"TABLE", "VIEW"}),
                new String[] {"TABLE_NAME", "TABLE_TYPE"},
                expectRows(new String[] {"CL_EMP", "TABLE"}, new String[] {"CL_EMP_V", "VIEW"}));
        checkRows("getTables of a view", () -> md.getTables(null, "JOE", "CL_EMP_V", null),
                new String[] {"TABLE_NAME", "TABLE_TYPE"}, expectRows(new String[] {"CL_EMP_V", "VIEW"}));
        checkRows("getTables of nothing", () -> md.getTables(null, "JOE", "NO_SUCH_TABLE", null),
                new String[] {"TABLE_NAME"}, expectRows());

        // jTDS turns the procedure's ODBC 2 codes into JDBC's: DATE 91, TIME 92, TIMESTAMP 93, and
        // LONG VARCHAR CLOB (useLOBs on); DECIMAL_DIGITS is the scale, for times the digits of the
        // fraction of a second. jTDS copies the answer into a result set of its own, whose numbers
        // read 0 where the procedure answered NULL (the scale of a type that has none).
        checkRows("getColumns of CL_ALL", () -> md.getColumns(null, "JOE", "CL_ALL", "%"),
                new String[] {"COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "DECIMAL_DIGITS", "NULLABLE",
                    "ORDINAL_POSITION", "IS_NULLABLE"},
                expectRows(new String[] {"K", "4", "INTEGER", "10", "0", "0", "1", "NO"},
                        new String[] {"SI", "5", "SMALLINT", "5", "0", "1", "2", "YES"},
                        new String[] {"DEC", "3", "DECIMAL", "11", "3", "1", "3", "YES"},
                        new String[] {"FL", "8", "FLOAT", "15", "0", "1", "4", "YES"},
                        new String[] {"CH", "1", "CHAR", "5", "0", "1", "5", "YES"},
                        new String[] {"VC", "12", "VARCHAR", "30", "0", "1", "6", "YES"},
                        new String[] {"LV", "2005", "LONG VARCHAR", "32700", "0", "1", "7", "YES"},
                        new String[] {"DT", "91", "DATE", "10", "0", "1", "8", "YES"},
                        new String[] {"TM", "92", "TIME", "8", "0", "1", "9", "YES"},
                        new String[] {"TS", "93", "TIMESTAMP", "26", "6", "1", "10", "YES"}));
        checkRows("getColumns by pattern", () -> md.getColumns(null, "JOE", "CL_T%", "K"),
                new String[] {"TABLE_NAME", "COLUMN_NAME"},
                expectRows(new String[] {"CL_TX", "K"}, new String[] {"CL_TYPES", "K"}));
        checkRows("getColumns of a view", () -> md.getColumns(null, "JOE", "CL_EMP_V", null),
                new String[] {"COLUMN_NAME", "TYPE_NAME", "COLUMN_SIZE"},
                expectRows(new String[] {"EMPNO", "INTEGER", "10"}, new String[] {"WORKDEPT", "CHAR", "3"}));

        checkRows("getPrimaryKeys", () -> md.getPrimaryKeys(null, "JOE", "CL_DEPT"),
                new String[] {"TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"},
                expectRows(new String[] {"JOE", "CL_DEPT", "DEPTNO", "1", "CL_DEPT_PKEY"}));
        String[] fkColumns = {"PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_SCHEM", "FKTABLE_NAME", "FKCOLUMN_NAME",
            "KEY_SEQ", "DELETE_RULE"};
        String[] fk = {"CL_DEPT", "DEPTNO", "JOE", "CL_EMP", "WORKDEPT", "1",
            String.valueOf(DatabaseMetaData.importedKeyRestrict)};
        checkRows("getImportedKeys", () -> md.getImportedKeys(null, "JOE", "CL_EMP"), fkColumns, expectRows(fk));
        checkRows("getExportedKeys", () -> md.getExportedKeys(null, "JOE", "CL_DEPT"), fkColumns, expectRows(fk));
        checkRows("no imported keys", () -> md.getImportedKeys(null, "JOE", "CL_DEPT"), fkColumns, expectRows());

        // First the table's statistics (type 0, no index; jTDS reads its NULL NON_UNIQUE and
        // ORDINAL_POSITION as false and 0, as JDBC defines them for that row), then unique indexes,
        // then the others.
        checkRows("getIndexInfo", () -> md.getIndexInfo(null, "JOE", "CL_EMP", false, false),
                new String[] {"INDEX_NAME", "NON_UNIQUE", "TYPE", "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC"},
                expectRows(new String[] {null, "0", "0", "0", null, null},
                        new String[] {"CL_EMP_PKEY", "0", "3", "1", "EMPNO", "A"},
                        new String[] {"CL_EMP_DEPT", "1", "3", "1", "WORKDEPT", "A"}));
        checkRows("getIndexInfo of unique indexes", () -> md.getIndexInfo(null, "JOE", "CL_EMP", true, false),
                new String[] {"INDEX_NAME", "COLUMN_NAME"},
                expectRows(new String[] {null, null}, new String[] {"CL_EMP_PKEY", "EMPNO"}));
        checkRows("getBestRowIdentifier: the primary key",
                () -> md.getBestRowIdentifier(null, "JOE", "CL_EMP", DatabaseMetaData.bestRowTemporary, true),
                new String[] {"COLUMN_NAME", "DATA_TYPE", "TYPE_NAME"}, expectRows(new String[] {"EMPNO", "4", "INTEGER"}));

        // One row per DB2 type, which jTDS sorts by its JDBC type; PRECISION is the longest the DDL
        // takes (DECIMAL 15 digits, CHAR 254, VARCHAR 32704, LONG VARCHAR 32700).
        checkRows("getTypeInfo", md::getTypeInfo, new String[] {"TYPE_NAME", "DATA_TYPE", "PRECISION"},
                expectRows(new String[] {"CHAR", "1", "254"}, new String[] {"DECIMAL", "3", "15"},
                        new String[] {"INTEGER", "4", "10"}, new String[] {"SMALLINT", "5", "5"},
                        new String[] {"REAL", "7", "7"}, new String[] {"FLOAT", "8", "15"},
                        new String[] {"VARCHAR", "12", "32704"}, new String[] {"DATE", "91", "10"},
                        new String[] {"TIME", "92", "8"}, new String[] {"TIMESTAMP", "93", "26"},
                        new String[] {"LONG VARCHAR", "2005", "32700"}));
    }

    // --- main -----------------------------------------------------------------------------------

    interface Section {
        void run() throws Exception;
    }

    // Runs one group of checks; an exception that escapes it fails the group and the rest go on.
    static void section(String name, Section body) {
        try {
            body.run();
        } catch (Exception e) {
            failures.add(name + " stopped: " + e);
        }
    }

    public static void main(String[] args) throws Exception {
        if (args.length == 1 && args[0].equals("--probe")) {
            Class.forName(DRIVER);
            return;
        }
        Class.forName(DRIVER);
        try (Connection c = connect(""); Connection other = connect("")) {
            section("server information", () -> serverInfo(c));
            section("types", () -> types(c));
            section("prepared statements", JtdsClient::preparedStatements);
            section("batches", () -> batches(c));
            section("units of work", () -> transactions(connect(""), other));
            section("failures", () -> failures(other));
            section("metadata", () -> metadata(c));
        }
        for (String f : failures) {
            System.out.println("FAIL: " + f);
        }
        System.out.println("jTDS: " + (failures.isEmpty() ? "all checks passed" : failures.size() + " check(s) failed"));
        System.exit(failures.isEmpty() ? 0 : 1);
    }
}
