-- The activity data of Tallyrow Reports on a PostgreSQL server (13 or later): the same table as in
-- a data file (schema.sql), one row per user, computer and day. Run it once in the database the
-- offices' URI names, for example:
--     psql "postgresql://tallyrow@dbhost:5432/tallyrow" -f schema-postgresql.sql
--
-- ActiveDay counts days from Saturday 1 January 2000 (day 0; earlier days are negative).
-- H0 .. H23 hold the seconds the user was active in each hour of that day (0 to 3600).
--
-- Names are written without quotes, so the server folds them to lower case (activity, activeday,
-- username, ...); the program sends its queries the same way. A table created as "Activity" with
-- quotes is a different table and is not found.
--
-- UserName and ComputerName compare without regard to letter case, exactly as in a data file
-- (simple case folding of every letter): a report for ANNA takes anna's rows, one for HÉLÈNE takes
-- Hélène's, one for STRAẞE takes straße but not STRASSE, and ılgaz and Ilgaz stay two people.
-- The server only narrows the rows down: it compares lower(upper(lower(... COLLATE "und-x-icu")))
-- (ICU's root collation; on a server without ICU, the database's default collation), which takes
-- every name the files take and a few more (STRASSE for straße). The program checks on connecting
-- that this holds for every letter it folds (else it narrows by day only), has the server group by
-- the exact spelling, and keeps and merges the spellings itself. The Users report gives every
-- spelling its own line, as a file does. The citext type
-- also makes a user listed once as Anna and once as anna appear once in the list of users (CREATE
-- EXTENSION citext is allowed to any user with the CREATE right on the database since PostgreSQL
-- 13); with text columns the list shows both. COLLATE "C" makes the order of the lists the order
-- a data file gives: letters compared after lower-casing, by character code.
--
-- The program only reads, in read-only sessions; it needs SELECT on Activity (and on ActivityDays
-- below) and nothing else:  GRANT SELECT ON activity, activitydays TO reports_user;

CREATE EXTENSION IF NOT EXISTS citext;

CREATE TABLE IF NOT EXISTS Activity (
    ActiveDay integer,
    UserName citext COLLATE "C",
    ComputerName citext COLLATE "C",
    H0 integer, H1 integer, H2 integer, H3 integer, H4 integer, H5 integer,
    H6 integer, H7 integer, H8 integer, H9 integer, H10 integer, H11 integer,
    H12 integer, H13 integer, H14 integer, H15 integer, H16 integer, H17 integer,
    H18 integer, H19 integer, H20 integer, H21 integer, H22 integer, H23 integer
);

-- The monitoring product writes one row per user, computer and day; the reports filter on the
-- user, then the computer, within a range of days. As in a data file, names that differ only in
-- the case of A to Z are one name for the key; JÜRGEN and jürgen are two.
CREATE UNIQUE INDEX IF NOT EXISTS ActivityKey ON Activity
    (lower(UserName::text COLLATE "C"), lower(ComputerName::text COLLATE "C"), ActiveDay);
-- Every report query selects a range of days; with no user filter this index serves it.
CREATE INDEX IF NOT EXISTS ActivityByDay ON Activity (ActiveDay);
-- A report for one user (and computer) looks the names up by the expression above; it must be
-- written exactly so for the server to use this index (a server without ICU has no "und-x-icu":
-- leave this index out there). It replaces the index ActivityByFoldedName of earlier versions.
DROP INDEX IF EXISTS ActivityByFoldedName;
CREATE INDEX IF NOT EXISTS ActivityByNameKey ON Activity
    (lower(upper(lower(UserName COLLATE "und-x-icu"))), lower(upper(lower(ComputerName COLLATE "und-x-icu"))),
     ActiveDay);

-- The per-day rollup: one row a day with the rows, and per hour the sum of the seconds and the
-- number of rows that hold a figure (not NULL). The reports for all users (Day with averages or
-- totals, Totals, the key figures) read it instead of every row when it is there; per-person
-- reports, maxima and minima read Activity. Its size grows with the days, not with the rows.
-- The server keeps it current itself: statement triggers with transition tables add what an
-- INSERT or DELETE changed, day by day, so a bulk COPY costs one upsert per day it touches; an
-- UPDATE is followed row by row and hour by hour (below), as it is cheapest for the few rows
-- the monitoring product changes at a time; TRUNCATE empties it. It is
-- filled once, when it is created; applying this file again changes nothing. A server without
-- it works too, reading Activity for every report. To add it to an existing server, apply this
-- file again (the first time it reads Activity once, holding off writers meanwhile). If its
-- triggers were ever dropped, empty it (TRUNCATE ActivityDays) before applying this file again.
-- The program reads it when it is there, has its triggers, and the user may read it:
--     GRANT SELECT ON ActivityDays TO reports_user;
CREATE TABLE IF NOT EXISTS ActivityDays (
    ActiveDay integer PRIMARY KEY,
    N bigint NOT NULL,
    S0 bigint NOT NULL, S1 bigint NOT NULL, S2 bigint NOT NULL, S3 bigint NOT NULL,
    S4 bigint NOT NULL, S5 bigint NOT NULL, S6 bigint NOT NULL, S7 bigint NOT NULL,
    S8 bigint NOT NULL, S9 bigint NOT NULL, S10 bigint NOT NULL, S11 bigint NOT NULL,
    S12 bigint NOT NULL, S13 bigint NOT NULL, S14 bigint NOT NULL, S15 bigint NOT NULL,
    S16 bigint NOT NULL, S17 bigint NOT NULL, S18 bigint NOT NULL, S19 bigint NOT NULL,
    S20 bigint NOT NULL, S21 bigint NOT NULL, S22 bigint NOT NULL, S23 bigint NOT NULL,
    C0 bigint NOT NULL, C1 bigint NOT NULL, C2 bigint NOT NULL, C3 bigint NOT NULL,
    C4 bigint NOT NULL, C5 bigint NOT NULL, C6 bigint NOT NULL, C7 bigint NOT NULL,
    C8 bigint NOT NULL, C9 bigint NOT NULL, C10 bigint NOT NULL, C11 bigint NOT NULL,
    C12 bigint NOT NULL, C13 bigint NOT NULL, C14 bigint NOT NULL, C15 bigint NOT NULL,
    C16 bigint NOT NULL, C17 bigint NOT NULL, C18 bigint NOT NULL, C19 bigint NOT NULL,
    C20 bigint NOT NULL, C21 bigint NOT NULL, C22 bigint NOT NULL, C23 bigint NOT NULL
);

-- The statement that adds the rows of `source` (a query giving a column w, 1 for a row that
-- came and -1 for one that went, then Activity's columns) to the rollup, day by day.
CREATE OR REPLACE FUNCTION activitydays_adding(source text) RETURNS text LANGUAGE sql IMMUTABLE AS $f$
SELECT $q$
INSERT INTO ActivityDays AS d
        SELECT ActiveDay, sum(w),
            coalesce(sum(w * H0), 0), coalesce(sum(w * H1), 0), coalesce(sum(w * H2), 0),
            coalesce(sum(w * H3), 0), coalesce(sum(w * H4), 0), coalesce(sum(w * H5), 0),
            coalesce(sum(w * H6), 0), coalesce(sum(w * H7), 0), coalesce(sum(w * H8), 0),
            coalesce(sum(w * H9), 0), coalesce(sum(w * H10), 0), coalesce(sum(w * H11), 0),
            coalesce(sum(w * H12), 0), coalesce(sum(w * H13), 0), coalesce(sum(w * H14), 0),
            coalesce(sum(w * H15), 0), coalesce(sum(w * H16), 0), coalesce(sum(w * H17), 0),
            coalesce(sum(w * H18), 0), coalesce(sum(w * H19), 0), coalesce(sum(w * H20), 0),
            coalesce(sum(w * H21), 0), coalesce(sum(w * H22), 0), coalesce(sum(w * H23), 0),
            sum(w * (H0 IS NOT NULL)::int), sum(w * (H1 IS NOT NULL)::int),
            sum(w * (H2 IS NOT NULL)::int), sum(w * (H3 IS NOT NULL)::int),
            sum(w * (H4 IS NOT NULL)::int), sum(w * (H5 IS NOT NULL)::int),
            sum(w * (H6 IS NOT NULL)::int), sum(w * (H7 IS NOT NULL)::int),
            sum(w * (H8 IS NOT NULL)::int), sum(w * (H9 IS NOT NULL)::int),
            sum(w * (H10 IS NOT NULL)::int), sum(w * (H11 IS NOT NULL)::int),
            sum(w * (H12 IS NOT NULL)::int), sum(w * (H13 IS NOT NULL)::int),
            sum(w * (H14 IS NOT NULL)::int), sum(w * (H15 IS NOT NULL)::int),
            sum(w * (H16 IS NOT NULL)::int), sum(w * (H17 IS NOT NULL)::int),
            sum(w * (H18 IS NOT NULL)::int), sum(w * (H19 IS NOT NULL)::int),
            sum(w * (H20 IS NOT NULL)::int), sum(w * (H21 IS NOT NULL)::int),
            sum(w * (H22 IS NOT NULL)::int), sum(w * (H23 IS NOT NULL)::int)
        FROM ($q$ || source || $q$) AS c WHERE ActiveDay IS NOT NULL GROUP BY ActiveDay
        ON CONFLICT (ActiveDay) DO UPDATE SET
            N = d.N + excluded.N, S0 = d.S0 + excluded.S0, S1 = d.S1 + excluded.S1,
            S2 = d.S2 + excluded.S2, S3 = d.S3 + excluded.S3, S4 = d.S4 + excluded.S4,
            S5 = d.S5 + excluded.S5, S6 = d.S6 + excluded.S6, S7 = d.S7 + excluded.S7,
            S8 = d.S8 + excluded.S8, S9 = d.S9 + excluded.S9, S10 = d.S10 + excluded.S10,
            S11 = d.S11 + excluded.S11, S12 = d.S12 + excluded.S12, S13 = d.S13 + excluded.S13,
            S14 = d.S14 + excluded.S14, S15 = d.S15 + excluded.S15, S16 = d.S16 + excluded.S16,
            S17 = d.S17 + excluded.S17, S18 = d.S18 + excluded.S18, S19 = d.S19 + excluded.S19,
            S20 = d.S20 + excluded.S20, S21 = d.S21 + excluded.S21, S22 = d.S22 + excluded.S22,
            S23 = d.S23 + excluded.S23, C0 = d.C0 + excluded.C0, C1 = d.C1 + excluded.C1,
            C2 = d.C2 + excluded.C2, C3 = d.C3 + excluded.C3, C4 = d.C4 + excluded.C4,
            C5 = d.C5 + excluded.C5, C6 = d.C6 + excluded.C6, C7 = d.C7 + excluded.C7,
            C8 = d.C8 + excluded.C8, C9 = d.C9 + excluded.C9, C10 = d.C10 + excluded.C10,
            C11 = d.C11 + excluded.C11, C12 = d.C12 + excluded.C12, C13 = d.C13 + excluded.C13,
            C14 = d.C14 + excluded.C14, C15 = d.C15 + excluded.C15, C16 = d.C16 + excluded.C16,
            C17 = d.C17 + excluded.C17, C18 = d.C18 + excluded.C18, C19 = d.C19 + excluded.C19,
            C20 = d.C20 + excluded.C20, C21 = d.C21 + excluded.C21, C22 = d.C22 + excluded.C22,
            C23 = d.C23 + excluded.C23
$q$
$f$;

CREATE OR REPLACE FUNCTION activitydays_follow() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        EXECUTE activitydays_adding('SELECT 1 AS w, * FROM added_rows');
    ELSE
        EXECUTE activitydays_adding('SELECT -1 AS w, * FROM removed_rows');
    END IF;
    RETURN NULL;
END
$$;

-- An UPDATE is followed row by row, hour by hour: the monitoring product changes one hour of a
-- few rows at a time, and a row trigger for each hour column fires only when an UPDATE sets that
-- column, so such a change costs one update of two columns of its day's row. An hour set to the
-- figure it had costs nothing more; an UPDATE that sets only the names fires none of them. A row
-- that moves to another day is followed as a whole by the trigger on ActiveDay (the hour
-- triggers leave it alone). Triggers of one's own that change columns an UPDATE does not set
-- are not followed: BEFORE UPDATE triggers on Activity must leave H0 .. H23 and ActiveDay as
-- they are.
DO $$
BEGIN
    FOR h IN 0..23 LOOP
        EXECUTE format($f$
CREATE OR REPLACE FUNCTION activitydays_follow_h%1$s() RETURNS trigger LANGUAGE plpgsql AS $b$
BEGIN
    IF NEW.ActiveDay = OLD.ActiveDay AND NEW.H%1$s IS DISTINCT FROM OLD.H%1$s THEN
        UPDATE ActivityDays SET S%1$s = S%1$s + (coalesce(NEW.H%1$s, 0) - coalesce(OLD.H%1$s, 0)),
            C%1$s = C%1$s + ((NEW.H%1$s IS NOT NULL)::int - (OLD.H%1$s IS NOT NULL)::int)
        WHERE ActiveDay = NEW.ActiveDay;
    END IF;
    RETURN NULL;
END
$b$ $f$, h);
    END LOOP;
END
$$;

-- A row that moves to another day leaves its old day's row and joins the new day's.
CREATE OR REPLACE FUNCTION activitydays_follow_move() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF OLD.ActiveDay IS NOT DISTINCT FROM NEW.ActiveDay THEN
        RETURN NULL;
    END IF;
    IF OLD.ActiveDay IS NOT NULL THEN
        UPDATE ActivityDays SET
            N = N - 1,
            S0 = S0 - coalesce(OLD.H0, 0),
            S1 = S1 - coalesce(OLD.H1, 0),
            S2 = S2 - coalesce(OLD.H2, 0),
            S3 = S3 - coalesce(OLD.H3, 0),
            S4 = S4 - coalesce(OLD.H4, 0),
            S5 = S5 - coalesce(OLD.H5, 0),
            S6 = S6 - coalesce(OLD.H6, 0),
            S7 = S7 - coalesce(OLD.H7, 0),
            S8 = S8 - coalesce(OLD.H8, 0),
            S9 = S9 - coalesce(OLD.H9, 0),
            S10 = S10 - coalesce(OLD.H10, 0),
            S11 = S11 - coalesce(OLD.H11, 0),
            S12 = S12 - coalesce(OLD.H12, 0),
            S13 = S13 - coalesce(OLD.H13, 0),
            S14 = S14 - coalesce(OLD.H14, 0),
            S15 = S15 - coalesce(OLD.H15, 0),
            S16 = S16 - coalesce(OLD.H16, 0),
            S17 = S17 - coalesce(OLD.H17, 0),
            S18 = S18 - coalesce(OLD.H18, 0),
            S19 = S19 - coalesce(OLD.H19, 0),
            S20 = S20 - coalesce(OLD.H20, 0),
            S21 = S21 - coalesce(OLD.H21, 0),
            S22 = S22 - coalesce(OLD.H22, 0),
            S23 = S23 - coalesce(OLD.H23, 0),
            C0 = C0 - (OLD.H0 IS NOT NULL)::int,
            C1 = C1 - (OLD.H1 IS NOT NULL)::int,
            C2 = C2 - (OLD.H2 IS NOT NULL)::int,
            C3 = C3 - (OLD.H3 IS NOT NULL)::int,
            C4 = C4 - (OLD.H4 IS NOT NULL)::int,
            C5 = C5 - (OLD.H5 IS NOT NULL)::int,
            C6 = C6 - (OLD.H6 IS NOT NULL)::int,
            C7 = C7 - (OLD.H7 IS NOT NULL)::int,
            C8 = C8 - (OLD.H8 IS NOT NULL)::int,
            C9 = C9 - (OLD.H9 IS NOT NULL)::int,
            C10 = C10 - (OLD.H10 IS NOT NULL)::int,
            C11 = C11 - (OLD.H11 IS NOT NULL)::int,
            C12 = C12 - (OLD.H12 IS NOT NULL)::int,
            C13 = C13 - (OLD.H13 IS NOT NULL)::int,
            C14 = C14 - (OLD.H14 IS NOT NULL)::int,
            C15 = C15 - (OLD.H15 IS NOT NULL)::int,
            C16 = C16 - (OLD.H16 IS NOT NULL)::int,
            C17 = C17 - (OLD.H17 IS NOT NULL)::int,
            C18 = C18 - (OLD.H18 IS NOT NULL)::int,
            C19 = C19 - (OLD.H19 IS NOT NULL)::int,
            C20 = C20 - (OLD.H20 IS NOT NULL)::int,
            C21 = C21 - (OLD.H21 IS NOT NULL)::int,
            C22 = C22 - (OLD.H22 IS NOT NULL)::int,
            C23 = C23 - (OLD.H23 IS NOT NULL)::int
        WHERE ActiveDay = OLD.ActiveDay;
    END IF;
    IF NEW.ActiveDay IS NOT NULL THEN
        INSERT INTO ActivityDays AS d VALUES (NEW.ActiveDay, 1,
            coalesce(NEW.H0, 0), coalesce(NEW.H1, 0), coalesce(NEW.H2, 0), coalesce(NEW.H3, 0),
            coalesce(NEW.H4, 0), coalesce(NEW.H5, 0), coalesce(NEW.H6, 0), coalesce(NEW.H7, 0),
            coalesce(NEW.H8, 0), coalesce(NEW.H9, 0), coalesce(NEW.H10, 0), coalesce(NEW.H11, 0),
            coalesce(NEW.H12, 0), coalesce(NEW.H13, 0), coalesce(NEW.H14, 0), coalesce(NEW.H15, 0),
            coalesce(NEW.H16, 0), coalesce(NEW.H17, 0), coalesce(NEW.H18, 0), coalesce(NEW.H19, 0),
            coalesce(NEW.H20, 0), coalesce(NEW.H21, 0), coalesce(NEW.H22, 0), coalesce(NEW.H23, 0),
            (NEW.H0 IS NOT NULL)::int, (NEW.H1 IS NOT NULL)::int, (NEW.H2 IS NOT NULL)::int, (NEW.H3
            IS NOT NULL)::int, (NEW.H4 IS NOT NULL)::int, (NEW.H5 IS NOT NULL)::int, (NEW.H6 IS NOT
            NULL)::int, (NEW.H7 IS NOT NULL)::int, (NEW.H8 IS NOT NULL)::int, (NEW.H9 IS NOT
            NULL)::int, (NEW.H10 IS NOT NULL)::int, (NEW.H11 IS NOT NULL)::int, (NEW.H12 IS NOT
            NULL)::int, (NEW.H13 IS NOT NULL)::int, (NEW.H14 IS NOT NULL)::int, (NEW.H15 IS NOT
            NULL)::int, (NEW.H16 IS NOT NULL)::int, (NEW.H17 IS NOT NULL)::int, (NEW.H18 IS NOT
            NULL)::int, (NEW.H19 IS NOT NULL)::int, (NEW.H20 IS NOT NULL)::int, (NEW.H21 IS NOT
            NULL)::int, (NEW.H22 IS NOT NULL)::int, (NEW.H23 IS NOT NULL)::int)
        ON CONFLICT (ActiveDay) DO UPDATE SET
            N = d.N + 1, S0 = d.S0 + excluded.S0, S1 = d.S1 + excluded.S1, S2 = d.S2 + excluded.S2,
            S3 = d.S3 + excluded.S3, S4 = d.S4 + excluded.S4, S5 = d.S5 + excluded.S5, S6 = d.S6 +
            excluded.S6, S7 = d.S7 + excluded.S7, S8 = d.S8 + excluded.S8, S9 = d.S9 + excluded.S9,
            S10 = d.S10 + excluded.S10, S11 = d.S11 + excluded.S11, S12 = d.S12 + excluded.S12, S13
            = d.S13 + excluded.S13, S14 = d.S14 + excluded.S14, S15 = d.S15 + excluded.S15, S16 =
            d.S16 + excluded.S16, S17 = d.S17 + excluded.S17, S18 = d.S18 + excluded.S18, S19 =
            d.S19 + excluded.S19, S20 = d.S20 + excluded.S20, S21 = d.S21 + excluded.S21, S22 =
            d.S22 + excluded.S22, S23 = d.S23 + excluded.S23, C0 = d.C0 + excluded.C0, C1 = d.C1 +
            excluded.C1, C2 = d.C2 + excluded.C2, C3 = d.C3 + excluded.C3, C4 = d.C4 + excluded.C4,
            C5 = d.C5 + excluded.C5, C6 = d.C6 + excluded.C6, C7 = d.C7 + excluded.C7, C8 = d.C8 +
            excluded.C8, C9 = d.C9 + excluded.C9, C10 = d.C10 + excluded.C10, C11 = d.C11 +
            excluded.C11, C12 = d.C12 + excluded.C12, C13 = d.C13 + excluded.C13, C14 = d.C14 +
            excluded.C14, C15 = d.C15 + excluded.C15, C16 = d.C16 + excluded.C16, C17 = d.C17 +
            excluded.C17, C18 = d.C18 + excluded.C18, C19 = d.C19 + excluded.C19, C20 = d.C20 +
            excluded.C20, C21 = d.C21 + excluded.C21, C22 = d.C22 + excluded.C22, C23 = d.C23 +
            excluded.C23;
    END IF;
    RETURN NULL;
END
$$;

-- TRUNCATE empties the rollup with the table.
CREATE OR REPLACE FUNCTION activitydays_follow_truncate() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    DELETE FROM ActivityDays;
    RETURN NULL;
END
$$;

-- Creates the triggers and fills the rollup in one transaction, with writers held off, so no
-- row is counted twice or missed. Earlier versions followed every UPDATE with one row trigger,
-- activitydays_changed; it goes, with its function.
DO $$
BEGIN
    LOCK TABLE Activity IN SHARE ROW EXCLUSIVE MODE;
    DROP TRIGGER IF EXISTS activitydays_added ON Activity;
    DROP TRIGGER IF EXISTS activitydays_removed ON Activity;
    DROP TRIGGER IF EXISTS activitydays_changed ON Activity;
    DROP TRIGGER IF EXISTS activitydays_moved ON Activity;
    DROP TRIGGER IF EXISTS activitydays_emptied ON Activity;
    DROP FUNCTION IF EXISTS activitydays_follow_row();
    CREATE TRIGGER activitydays_added AFTER INSERT ON Activity
        REFERENCING NEW TABLE AS added_rows FOR EACH STATEMENT EXECUTE FUNCTION activitydays_follow();
    CREATE TRIGGER activitydays_removed AFTER DELETE ON Activity
        REFERENCING OLD TABLE AS removed_rows FOR EACH STATEMENT EXECUTE FUNCTION activitydays_follow();
    CREATE TRIGGER activitydays_moved AFTER UPDATE OF ActiveDay ON Activity
        FOR EACH ROW EXECUTE FUNCTION activitydays_follow_move();
    CREATE TRIGGER activitydays_emptied AFTER TRUNCATE ON Activity
        FOR EACH STATEMENT EXECUTE FUNCTION activitydays_follow_truncate();
    FOR h IN 0..23 LOOP
        EXECUTE format('DROP TRIGGER IF EXISTS activitydays_h%s ON Activity', h);
        EXECUTE format('CREATE TRIGGER activitydays_h%1$s AFTER UPDATE OF H%1$s ON Activity '
                       'FOR EACH ROW EXECUTE FUNCTION activitydays_follow_h%1$s()', h);
    END LOOP;
    IF NOT EXISTS (SELECT FROM ActivityDays) THEN
        EXECUTE activitydays_adding('SELECT 1 AS w, * FROM Activity');
    END IF;
END
$$;
