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
-- UserName and ComputerName compare without regard to letter case, as in a data file: a report
-- for ANNA takes anna's rows, and one for HÉLÈNE takes Hélène's. The program compares them through
-- lower(upper(... COLLATE "und-x-icu")) (ICU's root collation, which cases every letter; on a
-- server without ICU, the database's default collation), which folds letters as the files do
-- (also ſ, µ and a final sigma), so plain text columns work too. The citext type
-- also makes a user listed once as Anna and once as anna appear once in the list of users (CREATE
-- EXTENSION citext is allowed to any user with the CREATE right on the database since PostgreSQL
-- 13); with text columns the list shows both. COLLATE "C" makes the order of the lists the order
-- a data file gives: letters compared after lower-casing, by character code.
--
-- The program only reads this table, in read-only sessions; it needs SELECT on it and nothing
-- else:  GRANT SELECT ON activity TO reports_user;

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
-- A report for one user (and computer) looks the names up as the program compares them; the
-- expressions must be written exactly so for the server to use this index (a server without
-- ICU has no "und-x-icu": leave this index out there).
CREATE INDEX IF NOT EXISTS ActivityByFoldedName ON Activity
    (lower(upper(UserName COLLATE "und-x-icu")), lower(upper(ComputerName COLLATE "und-x-icu")), ActiveDay);
