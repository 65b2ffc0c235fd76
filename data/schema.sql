-- The data file of Tallyrow Reports: one table, Activity, one row per user, computer and day.
-- ActiveDay counts days from Saturday 1 January 2000 (day 0; earlier days are negative).
-- H0 .. H23 hold the seconds the user was active in each hour of that day (0 to 3600).
-- Names compare without regard to letter case, as the reports expect.
CREATE TABLE Activity (
    ActiveDay INTEGER,
    UserName TEXT COLLATE NOCASE,
    ComputerName TEXT COLLATE NOCASE,
    H0 INTEGER, H1 INTEGER, H2 INTEGER, H3 INTEGER, H4 INTEGER, H5 INTEGER,
    H6 INTEGER, H7 INTEGER, H8 INTEGER, H9 INTEGER, H10 INTEGER, H11 INTEGER,
    H12 INTEGER, H13 INTEGER, H14 INTEGER, H15 INTEGER, H16 INTEGER, H17 INTEGER,
    H18 INTEGER, H19 INTEGER, H20 INTEGER, H21 INTEGER, H22 INTEGER, H23 INTEGER
);
-- The monitoring product writes one row per user, computer and day.
CREATE UNIQUE INDEX ActivityKey ON Activity (UserName, ComputerName, ActiveDay);
-- Every report query selects a range of days.
CREATE INDEX ActivityByDay ON Activity (ActiveDay);
