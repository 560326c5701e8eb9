-- The gateway's embedded database. Applications insert into SMS (CellNumber, SMSContent); the
-- gateway sends every row with Status 0 and writes 1, then 2 or -1, with HandleTime. Received
-- messages land in smsrecv. SQLite compares table and column names without regard to case.
PRAGMA journal_mode = WAL;

CREATE TABLE SMS (
    SysNo      INTEGER PRIMARY KEY AUTOINCREMENT,
    CellNumber TEXT,
    SMSContent TEXT,
    Status     INTEGER DEFAULT 0,
    HandleTime TEXT,
    -- The gateway that claimed the row when several share the queue; NULL otherwise.
    Gateway    TEXT
);
-- The poll reads only pending rows.
CREATE INDEX SMS_Status ON SMS (Status);

CREATE TABLE smsrecv (
    SysNo      INTEGER PRIMARY KEY AUTOINCREMENT,
    cellnumber TEXT,
    smscontent TEXT,
    HandleTime TEXT
);

-- Delivery reports (off unless [SMSCom] StatusReport=1): one row per report, tied to its SMS row.
-- Status is the report's TP-ST: below 32 delivered, 32..63 still trying, 64 and up failed.
CREATE TABLE smsreport (
    SysNo        INTEGER,
    CellNumber   TEXT,
    Status       INTEGER,
    DeliveryTime TEXT,
    ReportTime   TEXT
);
CREATE INDEX smsreport_SysNo ON smsreport (SysNo);

-- Numbers that replied an opt-out keyword (used while [OptOut] Enabled=1): a row to one of them
-- goes to -1 with Reason "opted out". Number is in canonical form, Port the device it came on.
CREATE TABLE smsoptout (
    Number  TEXT PRIMARY KEY,
    Since   TEXT,
    Keyword TEXT,
    Port    TEXT
);
