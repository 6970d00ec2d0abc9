-- Report working database: ratings laid out for the element condition evaluation
-- report, and copies of the tunnel database's rows it joins with (keys copied, never assigned).

CREATE TABLE ReportRatings (
  InspectionID INTEGER,
  PanelID      INTEGER,
  ElementID    INTEGER,
  Rating       TEXT
);
CREATE INDEX IPE ON ReportRatings(InspectionID, PanelID, ElementID);

CREATE TABLE Tunnels (
  TunnelID         INTEGER PRIMARY KEY,
  SystemID         INTEGER,
  TunnelName       TEXT COLLATE NOCASE,
  TunnelPicture    TEXT,
  TunnelForeground INTEGER DEFAULT 0,
  DrawWidth        INTEGER DEFAULT 0
);

CREATE TABLE InspectionPeriod (
  InspectionID   INTEGER PRIMARY KEY,
  TunnelID       INTEGER,
  InspectionYear INTEGER
);

CREATE TABLE Panels (
  PanelID   INTEGER PRIMARY KEY,
  TunnelID  INTEGER,
  PanelNum  INTEGER,
  PanelName TEXT COLLATE NOCASE
);

CREATE TABLE AvailableElements (
  ElementID       INTEGER PRIMARY KEY,
  ElementName     TEXT COLLATE NOCASE,
  ElementCategory INTEGER
);
