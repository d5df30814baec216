-- Tarnhelm project file: tables, lookup rows, keys and indexes.
-- Column order matters: the program reads many tables by column position.
PRAGMA foreign_keys = ON;

CREATE TABLE OutputType (
    OutputTypeID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
INSERT INTO OutputType (OutputTypeID, Name) VALUES (1, 'Requested'), (2, 'Scheduled');

CREATE TABLE Baseline (
    BaselineID INTEGER PRIMARY KEY,
    Description TEXT,
    ToolUserName TEXT,
    CreatedDate TEXT,
    ModifiedDate TEXT,
    StartYear INTEGER NOT NULL,
    EndYear INTEGER NOT NULL,
    OutputTypeID INTEGER NOT NULL DEFAULT 1 REFERENCES OutputType (OutputTypeID),
    PasswordHash BLOB
);

CREATE TABLE SalinityMethod (
    SalinityMethodID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL,
    SalinitySlotName TEXT NOT NULL
);
INSERT INTO SalinityMethod (SalinityMethodID, Name, SalinitySlotName) VALUES
    (1, 'Return Flow Mass (tons/yr)', 'Return Flow Salinity Pickup Mass'),
    (2, 'Return Flow Concentration (mg/l)', 'Return Flow Salinity Pickup Conc'),
    (3, 'Diversion Concentration (mg/l)', 'Diversion Salt Concentration'),
    (4, 'Mass Removal (tons/yr)', 'Salt Mass Removal');

CREATE TABLE AttrType (
    AttrTypeID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
INSERT INTO AttrType (AttrTypeID, Name) VALUES
    (1, 'Aggregate Diversion Attribute'), (2, 'Water User Attribute');

CREATE TABLE CalcMethod (
    CalcMethodID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
INSERT INTO CalcMethod (CalcMethodID, Name) VALUES
    (1, 'Use Baseline Data Plus Changed Values'),
    (2, 'Interpolate Using Changed Values Only');

CREATE TABLE ChangeType (
    ChangeTypeID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
INSERT INTO ChangeType (ChangeTypeID, Name) VALUES
    (1, 'Percent Change'), (2, 'Amount Change'), (3, 'New Amount'), (4, 'Set to a Baseline Year');

CREATE TABLE CurveDataType (
    CurveDataTypeID INTEGER PRIMARY KEY,
    Name TEXT NOT NULL
);
INSERT INTO CurveDataType (CurveDataTypeID, Name) VALUES
    (1, 'Depletion'), (2, 'Diversion'), (3, 'Salinity');

CREATE TABLE AggDiv (
    AggDivID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL DEFAULT 1 REFERENCES Baseline (BaselineID) ON DELETE CASCADE,
    SalinityMethodID INTEGER NOT NULL DEFAULT 4 REFERENCES SalinityMethod (SalinityMethodID),
    SiteName TEXT,
    RiffleName TEXT,
    Notes TEXT,
    Ord INTEGER
);

CREATE TABLE Scenario (
    ScenarioID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL DEFAULT 1 REFERENCES Baseline (BaselineID) ON DELETE CASCADE,
    ScenarioName TEXT,
    ScenarioShortName TEXT,
    ScenarioDescription TEXT,
    ToolUserName TEXT,
    CreatedDate TEXT,
    ModifiedDate TEXT
);

CREATE TABLE WaterUser (
    WaterUserID INTEGER PRIMARY KEY,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    ScenarioID INTEGER REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    WaterUserName TEXT,
    RiffleName TEXT,
    Notes TEXT,
    Ord INTEGER
);
CREATE INDEX WaterUser_AggDiv ON WaterUser (AggDivID, ScenarioID);
CREATE INDEX WaterUser_Scenario ON WaterUser (ScenarioID);

CREATE TABLE WaterUserData (
    WaterUserDataID INTEGER PRIMARY KEY,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    DiversionReq REAL,
    DepletionReq REAL,
    EfficiencyRatio REAL,
    SalinityPickup REAL
);
CREATE INDEX WaterUserData_WaterUser ON WaterUserData (WaterUserID, Year);
CREATE INDEX WaterUserData_Year ON WaterUserData (Year);

CREATE TABLE WaterUserDist (
    WaterUserDistID INTEGER PRIMARY KEY,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Jan REAL, Feb REAL, Mar REAL, Apr REAL, May REAL, Jun REAL,
    Jul REAL, Aug REAL, Sep REAL, Oct REAL, Nov REAL, Dec REAL
);
CREATE INDEX WaterUserDist_WaterUser ON WaterUserDist (WaterUserID);

CREATE TABLE Attribute (
    AttrID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL DEFAULT 1 REFERENCES Baseline (BaselineID) ON DELETE CASCADE,
    AttrName TEXT NOT NULL,
    AttrTypeID INTEGER NOT NULL REFERENCES AttrType (AttrTypeID)
);

CREATE TABLE AttrValidVal (
    AttrValidValID INTEGER PRIMARY KEY,
    AttrID INTEGER NOT NULL REFERENCES Attribute (AttrID) ON DELETE CASCADE,
    AttrVal TEXT NOT NULL
);
CREATE INDEX AttrValidVal_Attr ON AttrValidVal (AttrID);

CREATE TABLE AggDivAttr (
    AggDivAttrID INTEGER PRIMARY KEY,
    AttrID INTEGER NOT NULL REFERENCES Attribute (AttrID) ON DELETE CASCADE,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    AttrValidValID INTEGER NOT NULL REFERENCES AttrValidVal (AttrValidValID) ON DELETE CASCADE,
    UNIQUE (AggDivID, AttrID)
);
CREATE INDEX AggDivAttr_Value ON AggDivAttr (AttrValidValID);
CREATE INDEX AggDivAttr_Attr ON AggDivAttr (AttrID);

CREATE TABLE WaterUserAttr (
    WaterUserAttrID INTEGER PRIMARY KEY,
    AttrID INTEGER NOT NULL REFERENCES Attribute (AttrID) ON DELETE CASCADE,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    AttrValidValID INTEGER NOT NULL REFERENCES AttrValidVal (AttrValidValID) ON DELETE CASCADE,
    UNIQUE (WaterUserID, AttrID)
);
CREATE INDEX WaterUserAttr_Value ON WaterUserAttr (AttrValidValID);
CREATE INDEX WaterUserAttr_Attr ON WaterUserAttr (AttrID);

CREATE TABLE DemandChg (
    DemandChgID INTEGER PRIMARY KEY,
    ScenarioID INTEGER NOT NULL REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    DemandChgName TEXT,
    Description TEXT,
    CreatedDate TEXT,
    DepletionCalcMethodID INTEGER NOT NULL DEFAULT 1 REFERENCES CalcMethod (CalcMethodID),
    EfficiencyCalcMethodID INTEGER NOT NULL DEFAULT 1 REFERENCES CalcMethod (CalcMethodID),
    UsesFilters INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX DemandChg_Scenario ON DemandChg (ScenarioID);

CREATE TABLE DepletionChg (
    DepletionChgID INTEGER PRIMARY KEY,
    DemandChgID INTEGER NOT NULL REFERENCES DemandChg (DemandChgID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    ChangeTypeID INTEGER NOT NULL REFERENCES ChangeType (ChangeTypeID),
    ChangeValue REAL
);
CREATE INDEX DepletionChg_DemandChg ON DepletionChg (DemandChgID, Year);

CREATE TABLE EfficiencyChg (
    EfficiencyChgID INTEGER PRIMARY KEY,
    DemandChgID INTEGER NOT NULL REFERENCES DemandChg (DemandChgID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    ChangeTypeID INTEGER NOT NULL REFERENCES ChangeType (ChangeTypeID),
    ChangeValue REAL
);
CREATE INDEX EfficiencyChg_DemandChg ON EfficiencyChg (DemandChgID, Year);

CREATE TABLE DemandChgWaterUser (
    DemandChgWaterUserID INTEGER PRIMARY KEY,
    DemandChgID INTEGER NOT NULL REFERENCES DemandChg (DemandChgID) ON DELETE CASCADE,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE
);
CREATE INDEX DemandChgWaterUser_DemandChg ON DemandChgWaterUser (DemandChgID);
CREATE INDEX DemandChgWaterUser_WaterUser ON DemandChgWaterUser (WaterUserID);

CREATE TABLE DemandSelection (
    DemandSelectionID INTEGER PRIMARY KEY,
    DemandChgID INTEGER NOT NULL REFERENCES DemandChg (DemandChgID) ON DELETE CASCADE,
    AttrID INTEGER NOT NULL REFERENCES Attribute (AttrID) ON DELETE CASCADE,
    AttrValidValID INTEGER NOT NULL REFERENCES AttrValidVal (AttrValidValID) ON DELETE CASCADE
);
CREATE INDEX DemandSelection_DemandChg ON DemandSelection (DemandChgID);
CREATE INDEX DemandSelection_Value ON DemandSelection (AttrValidValID);

CREATE TABLE Plot (
    PlotID INTEGER PRIMARY KEY,
    Name TEXT,
    Description TEXT
);

CREATE TABLE PlotScenario (
    PlotScenarioID INTEGER PRIMARY KEY,
    PlotID INTEGER NOT NULL REFERENCES Plot (PlotID) ON DELETE CASCADE,
    ScenarioID INTEGER REFERENCES Scenario (ScenarioID) ON DELETE CASCADE
);
CREATE INDEX PlotScenario_Plot ON PlotScenario (PlotID);

CREATE TABLE PlotCurve (
    PlotCurveID INTEGER PRIMARY KEY,
    PlotID INTEGER NOT NULL REFERENCES Plot (PlotID) ON DELETE CASCADE,
    Name TEXT,
    CurveDataTypeID INTEGER NOT NULL DEFAULT 1 REFERENCES CurveDataType (CurveDataTypeID)
);
CREATE INDEX PlotCurve_Plot ON PlotCurve (PlotID);

CREATE TABLE PlotCurveFilter (
    PlotCurveFilterID INTEGER PRIMARY KEY,
    PlotCurveID INTEGER NOT NULL REFERENCES PlotCurve (PlotCurveID) ON DELETE CASCADE,
    AttrID INTEGER NOT NULL REFERENCES Attribute (AttrID) ON DELETE CASCADE,
    AttrValidValID INTEGER NOT NULL REFERENCES AttrValidVal (AttrValidValID) ON DELETE CASCADE
);
CREATE INDEX PlotCurveFilter_PlotCurve ON PlotCurveFilter (PlotCurveID);
CREATE INDEX PlotCurveFilter_Value ON PlotCurveFilter (AttrValidValID);

CREATE TABLE PlotCurveWaterUser (
    PlotCurveWaterUserID INTEGER PRIMARY KEY,
    PlotCurveID INTEGER NOT NULL REFERENCES PlotCurve (PlotCurveID) ON DELETE CASCADE,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE
);
CREATE INDEX PlotCurveWaterUser_PlotCurve ON PlotCurveWaterUser (PlotCurveID);
CREATE INDEX PlotCurveWaterUser_WaterUser ON PlotCurveWaterUser (WaterUserID);

-- Computed results. The calculation deletes and rewrites the rows of one site or water user at a
-- time; readers select by owner, scenario and month range.
CREATE TABLE BaseYearlyAggDiv (
    BaseYearlyAggDivID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    AggDivSalinityValue REAL
);
CREATE INDEX BaseYearlyAggDiv_Owner ON BaseYearlyAggDiv (AggDivID, Year);

CREATE TABLE BaseMonthlyAggDiv (
    BaseMonthlyAggDivID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    Month TEXT NOT NULL,
    AggDivSalinityValue REAL
);
CREATE INDEX BaseMonthlyAggDiv_Owner ON BaseMonthlyAggDiv (AggDivID, Month);

CREATE TABLE BaseYearlyWaterUser (
    BaseYearlyWaterUserID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    DiversionValue REAL,
    DepletionValue REAL,
    EfficiencyRatioValue REAL,
    SalinityPickupValue REAL
);
CREATE INDEX BaseYearlyWaterUser_Owner ON BaseYearlyWaterUser (WaterUserID, Year);

CREATE TABLE BaseMonthlyWaterUser (
    BaseMonthlyWaterUserID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Month TEXT NOT NULL,
    DiversionValue REAL,
    DepletionValue REAL
);
CREATE INDEX BaseMonthlyWaterUser_Owner ON BaseMonthlyWaterUser (WaterUserID, Month);

CREATE TABLE ScenarioYearlyAggDiv (
    ScenarioYearlyAggDivID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    ScenarioID INTEGER NOT NULL REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    AggDivSalinityValue REAL
);
CREATE INDEX ScenarioYearlyAggDiv_Owner ON ScenarioYearlyAggDiv (ScenarioID, AggDivID, Year);
CREATE INDEX ScenarioYearlyAggDiv_AggDiv ON ScenarioYearlyAggDiv (AggDivID);

CREATE TABLE ScenarioMonthlyAggDiv (
    ScenarioMonthlyAggDivID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    ScenarioID INTEGER NOT NULL REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    AggDivID INTEGER NOT NULL REFERENCES AggDiv (AggDivID) ON DELETE CASCADE,
    Month TEXT NOT NULL,
    AggDivSalinityValue REAL
);
CREATE INDEX ScenarioMonthlyAggDiv_Owner ON ScenarioMonthlyAggDiv (ScenarioID, AggDivID, Month);
CREATE INDEX ScenarioMonthlyAggDiv_AggDiv ON ScenarioMonthlyAggDiv (AggDivID);

CREATE TABLE ScenarioYearlyWaterUser (
    ScenarioYearlyWaterUserID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    ScenarioID INTEGER NOT NULL REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Year INTEGER NOT NULL,
    DiversionValue REAL,
    DepletionValue REAL,
    EfficiencyRatioValue REAL,
    SalinityPickupValue REAL
);
CREATE INDEX ScenarioYearlyWaterUser_Owner ON ScenarioYearlyWaterUser (ScenarioID, WaterUserID, Year);
CREATE INDEX ScenarioYearlyWaterUser_WaterUser ON ScenarioYearlyWaterUser (WaterUserID);

CREATE TABLE ScenarioMonthlyWaterUser (
    ScenarioMonthlyWaterUserID INTEGER PRIMARY KEY,
    BaselineID INTEGER NOT NULL,
    ScenarioID INTEGER NOT NULL REFERENCES Scenario (ScenarioID) ON DELETE CASCADE,
    WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID) ON DELETE CASCADE,
    Month TEXT NOT NULL,
    DiversionValue REAL,
    DepletionValue REAL
);
CREATE INDEX ScenarioMonthlyWaterUser_Owner ON ScenarioMonthlyWaterUser (ScenarioID, WaterUserID, Month);
CREATE INDEX ScenarioMonthlyWaterUser_WaterUser ON ScenarioMonthlyWaterUser (WaterUserID);
