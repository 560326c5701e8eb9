-- The gateway's tables on MariaDB or MySQL. The server must run with
-- lower_case_table_names=1: the statements write the table as both SMS and sms.
CREATE TABLE SMS (
    SysNo      BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    CellNumber VARCHAR(255),
    SMSContent TEXT,
    Status     INT DEFAULT 0,
    HandleTime DATETIME,
    -- The gateway that claimed the row when several share the queue; NULL otherwise.
    Gateway    VARCHAR(64),
    INDEX SMS_Status (Status)
) ENGINE = InnoDB DEFAULT CHARSET = utf8mb4;

CREATE TABLE smsrecv (
    SysNo      BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    cellnumber VARCHAR(255),
    smscontent TEXT,
    HandleTime DATETIME
) ENGINE = InnoDB DEFAULT CHARSET = utf8mb4;

-- Delivery reports (off unless [SMSCom] StatusReport=1): one row per report, tied to its SMS row.
-- Status is the report's TP-ST: below 32 delivered, 32..63 still trying, 64 and up failed.
CREATE TABLE smsreport (
    SysNo        BIGINT,
    CellNumber   VARCHAR(255),
    Status       INT,
    DeliveryTime DATETIME,
    ReportTime   DATETIME,
    INDEX smsreport_SysNo (SysNo)
) ENGINE = InnoDB DEFAULT CHARSET = utf8mb4;

-- Numbers that replied an opt-out keyword (used while [OptOut] Enabled=1).
CREATE TABLE smsoptout (
    Number  VARCHAR(32) NOT NULL PRIMARY KEY,
    Since   DATETIME,
    Keyword VARCHAR(64),
    Port    VARCHAR(16)
) ENGINE = InnoDB DEFAULT CHARSET = utf8mb4;
