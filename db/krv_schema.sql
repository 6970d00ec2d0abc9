-- Tunnel database. Keys that the database assigns never come back after a delete
-- (AUTOINCREMENT): rows that still name a deleted key are kept on purpose, and a new
-- row must never inherit them. No FOREIGN KEY clauses for the same reason.
-- Names people compare are NOCASE; file names compare exactly.

CREATE TABLE System (
  SystemID          INTEGER PRIMARY KEY AUTOINCREMENT,
  SystemName        TEXT COLLATE NOCASE,
  SystemPicture     TEXT,
  DrawWidth         INTEGER DEFAULT 0,
  SystemForeground  INTEGER DEFAULT 0,
  View              INTEGER NOT NULL DEFAULT 0,
  WarningHighlight  int DEFAULT 5,
  CriticalHighlight int DEFAULT 3
);

CREATE TABLE Tunnels (
  TunnelID         INTEGER PRIMARY KEY AUTOINCREMENT,
  SystemID         INTEGER,
  TunnelName       TEXT COLLATE NOCASE,
  TunnelPicture    TEXT,
  TunnelForeground INTEGER DEFAULT 0,
  DrawWidth        INTEGER DEFAULT 0
);
CREATE INDEX Tunnels_System ON Tunnels(SystemID);

CREATE TABLE TunnelCoord (
  TunnelID   INTEGER,
  CoordIndex INTEGER,
  TunnelX    INTEGER,
  TunnelY    INTEGER
);
CREATE INDEX TunnelCoord_T ON TunnelCoord(TunnelID, CoordIndex);

CREATE TABLE Panels (
  PanelID   INTEGER PRIMARY KEY AUTOINCREMENT,
  TunnelID  INTEGER,
  PanelNum  INTEGER,
  PanelName TEXT COLLATE NOCASE
);
CREATE INDEX Panels_T ON Panels(TunnelID, PanelName);

CREATE TABLE PanelCoord (
  PanelID    INTEGER,
  CoordIndex INTEGER,
  PanelX     INTEGER,
  PanelY     INTEGER
);
CREATE INDEX PanelCoord_P ON PanelCoord(PanelID, CoordIndex);

CREATE TABLE ElementCategory (
  EleCategoryID   INTEGER PRIMARY KEY AUTOINCREMENT,
  EleCategoryName TEXT COLLATE NOCASE,
  EleCategorySort INTEGER
);

-- ElementID is chosen by the program, not by the database.
CREATE TABLE AvailableElements (
  ElementID       INTEGER PRIMARY KEY,
  ElementName     TEXT COLLATE NOCASE,
  ElementCategory INTEGER
);
CREATE INDEX AvailableElements_C ON AvailableElements(ElementCategory);

CREATE TABLE PanelElements (
  PanelID   INTEGER NOT NULL,
  ElementID INTEGER NOT NULL
);
CREATE UNIQUE INDEX PanelElements_PE ON PanelElements(PanelID, ElementID);
CREATE INDEX PanelElements_E ON PanelElements(ElementID);

CREATE TABLE ExpenditureCats (
  CategoryID INTEGER PRIMARY KEY AUTOINCREMENT,
  Category   TEXT COLLATE NOCASE
);

CREATE TABLE TabDefinitions (
  ID         INTEGER PRIMARY KEY AUTOINCREMENT,
  TabIndex   INTEGER,
  TabCaption TEXT COLLATE NOCASE
);

-- The caller checks the offered list itself (case counts there), so no UNIQUE here.
CREATE TABLE UnitTypes (
  Unit TEXT COLLATE NOCASE
);

CREATE TABLE Reports (
  ReportName TEXT COLLATE NOCASE
);

-- Password holds a salted hash, never the password itself.
CREATE TABLE login (
  Username  TEXT COLLATE NOCASE NOT NULL,
  Password  TEXT,
  Wizard    INTEGER NOT NULL DEFAULT 0,
  DataEntry INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX login_Username ON login(Username);

CREATE TABLE InspectionPeriod (
  InspectionID   INTEGER PRIMARY KEY AUTOINCREMENT,
  TunnelID       INTEGER,
  InspectionYear INTEGER
);
CREATE INDEX InspectionPeriod_TY ON InspectionPeriod(TunnelID, InspectionYear);

CREATE TABLE Ratings (
  InspectionID INTEGER NOT NULL,
  PanelID      INTEGER NOT NULL,
  ElementID    INTEGER NOT NULL,
  Rating       INTEGER,
  Posted       INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Ratings_IPE ON Ratings(InspectionID, PanelID, ElementID);
CREATE INDEX Ratings_P ON Ratings(PanelID);

CREATE TABLE RatingsPosted (
  InspectionID INTEGER NOT NULL,
  PanelID      INTEGER NOT NULL,
  ElementID    INTEGER NOT NULL,
  Rating       INTEGER
);
CREATE UNIQUE INDEX RatingsPosted_IPE ON RatingsPosted(InspectionID, PanelID, ElementID);
CREATE INDEX RatingsPosted_P ON RatingsPosted(PanelID);

CREATE TABLE PanelComments (
  InspectionID INTEGER NOT NULL,
  PanelID      INTEGER NOT NULL,
  Comments     TEXT,
  Posted       INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX PanelComments_IP ON PanelComments(InspectionID, PanelID);

CREATE TABLE PanelCommentsPosted (
  InspectionID INTEGER NOT NULL,
  PanelID      INTEGER NOT NULL,
  Comments     TEXT
);
CREATE UNIQUE INDEX PanelCommentsPosted_IP ON PanelCommentsPosted(InspectionID, PanelID);

CREATE TABLE DefectQuantity (
  ID           INTEGER PRIMARY KEY AUTOINCREMENT,
  PanelID      INTEGER,
  InspectionID INTEGER,
  Quantity     REAL,
  Units        TEXT COLLATE NOCASE,
  UnitCost     REAL,
  TotalCost    REAL,
  Description  TEXT,
  Posted       INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX DefectQuantity_IP ON DefectQuantity(InspectionID, PanelID);

-- ID is the working row's ID.
CREATE TABLE DefectQuantityPosted (
  ID           INTEGER PRIMARY KEY,
  PanelID      INTEGER,
  InspectionID INTEGER,
  Quantity     REAL,
  Units        TEXT COLLATE NOCASE,
  UnitCost     REAL,
  TotalCost    REAL,
  Description  TEXT
);
CREATE INDEX DefectQuantityPosted_IP ON DefectQuantityPosted(InspectionID, PanelID);

CREATE TABLE ImagePaths (
  PanelID      INTEGER,
  ElementID    INTEGER,
  ImagePath    TEXT,
  FieldSketch  INTEGER NOT NULL DEFAULT 0,
  InspectionID INTEGER,
  Annotation   TEXT,
  Posted       INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ImagePaths_IPE ON ImagePaths(InspectionID, PanelID, ElementID);

CREATE TABLE ImagePathsPosted (
  PanelID      INTEGER,
  ElementID    INTEGER,
  ImagePath    TEXT,
  FieldSketch  INTEGER NOT NULL DEFAULT 0,
  InspectionID INTEGER,
  Annotation   TEXT
);
CREATE INDEX ImagePathsPosted_IPE ON ImagePathsPosted(InspectionID, PanelID, ElementID);

CREATE TABLE Videos (
  PanelID      INTEGER,
  ElementID    INTEGER,
  VideoFile    TEXT,
  InspectionID INTEGER,
  Posted       INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX Videos_PEVI ON Videos(PanelID, ElementID, VideoFile, InspectionID);
CREATE INDEX Videos_I ON Videos(InspectionID);

CREATE TABLE VideosPosted (
  PanelID      INTEGER,
  ElementID    INTEGER,
  VideoFile    TEXT,
  InspectionID INTEGER
);
CREATE UNIQUE INDEX VideosPosted_PEVI ON VideosPosted(PanelID, ElementID, VideoFile, InspectionID);
CREATE INDEX VideosPosted_I ON VideosPosted(InspectionID);

CREATE TABLE RepairLogs (
  RepairID   INTEGER PRIMARY KEY AUTOINCREMENT,
  PanelID    INTEGER,
  RepairDate TEXT,
  RepairLog  TEXT
);
CREATE INDEX RepairLogs_P ON RepairLogs(PanelID, RepairDate);

CREATE TABLE Emergencies (
  EmergencyID   INTEGER PRIMARY KEY AUTOINCREMENT,
  PanelID       INTEGER,
  EmergencyDate TEXT,
  Emergency     TEXT
);
CREATE INDEX Emergencies_P ON Emergencies(PanelID, EmergencyDate);

CREATE TABLE Expenditures (
  ExpID      INTEGER PRIMARY KEY AUTOINCREMENT,
  TunnelID   INTEGER,
  Cost       REAL,
  [Date]     TEXT,
  Comments   TEXT,
  CategoryID INTEGER
);
CREATE INDEX Expenditures_T ON Expenditures(TunnelID, [Date]);

CREATE TABLE TabData (
  TabID   INTEGER NOT NULL,
  PanelID INTEGER NOT NULL,
  TabData TEXT
);
CREATE UNIQUE INDEX TabData_TP ON TabData(TabID, PanelID);

-- Saved report definitions.
CREATE TABLE ExpenditureRpt (
  ID        INTEGER PRIMARY KEY AUTOINCREMENT,
  Name      TEXT COLLATE NOCASE,
  FCategory INTEGER NOT NULL DEFAULT 0,
  FDate     INTEGER NOT NULL DEFAULT 0,
  FCost     INTEGER NOT NULL DEFAULT 0,
  FComments INTEGER NOT NULL DEFAULT 0,
  FilterBy  INTEGER,
  DateFrom  TEXT,
  DateTo    TEXT,
  Min       REAL,
  Max       REAL,
  GroupBy   TEXT COLLATE NOCASE
);
CREATE TABLE ExpenditureRptTunnels (
  ID       INTEGER,
  TunnelID INTEGER
);
CREATE INDEX ExpenditureRptTunnels_ID ON ExpenditureRptTunnels(ID);

CREATE TABLE TunnelRpt (
  ID        INTEGER PRIMARY KEY AUTOINCREMENT,
  Name      TEXT COLLATE NOCASE,
  RatingPd1 INTEGER,
  RatingPd2 INTEGER
);
CREATE TABLE TunnelRptTunnels (
  ID       INTEGER,
  TunnelID INTEGER
);
CREATE INDEX TunnelRptTunnels_ID ON TunnelRptTunnels(ID);
CREATE TABLE TunnelRptElements (
  ID        INTEGER,
  ElementID INTEGER,
  Include   INTEGER NOT NULL DEFAULT 0,
  Min       REAL,
  Max       REAL
);
CREATE INDEX TunnelRptElements_ID ON TunnelRptElements(ID);

CREATE TABLE DefectRpt (
  ID   INTEGER PRIMARY KEY AUTOINCREMENT,
  Name TEXT COLLATE NOCASE
);
CREATE TABLE DefectRptTunnels (
  ID       INTEGER,
  TunnelID INTEGER
);
CREATE INDEX DefectRptTunnels_ID ON DefectRptTunnels(ID);
CREATE TABLE DefectRptInspections (
  ID       INTEGER,
  InspYear INTEGER
);
CREATE INDEX DefectRptInspections_ID ON DefectRptInspections(ID);

INSERT INTO Reports (ReportName) VALUES ('Defect');
INSERT INTO Reports (ReportName) VALUES ('Element Performance');
INSERT INTO Reports (ReportName) VALUES ('Expenditure');
