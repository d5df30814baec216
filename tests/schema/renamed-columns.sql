-- A project file as another tool might make it: every table, column position and relation of the
-- format, but every column whose name the format leaves open is called something else, keys are
-- declared in other ways and indexes have other names. Tests run on files made from this script
-- as well as on ones made from the program's own, to catch any statement that spells a free
-- column by name.
pragma foreign_keys = on;

create table OutputType (OutputTypeID integer not null primary key, "Output Label" varchar(40) not null);
insert into OutputType values (1, 'Requested');
insert into OutputType values (2, 'Scheduled');

create table Baseline (
    BaselineID integer,
    "Basin Notes" text,
    "Prepared By" varchar(80),
    "Made On" date,
    "Touched On" date,
    StartYear int not null,
    EndYear int not null,
    OutputTypeID int not null default 1,
    "Lock Digest" blob,
    primary key (BaselineID),
    foreign key (OutputTypeID) references OutputType (OutputTypeID)
);

create table SalinityMethod (
    SalinityMethodID integer primary key autoincrement,
    "Method Label" text not null,
    SalinitySlotName text not null
);
insert into SalinityMethod values (1, 'Return Flow Mass (tons/yr)', 'Return Flow Salinity Pickup Mass');
insert into SalinityMethod values (2, 'Return Flow Concentration (mg/l)', 'Return Flow Salinity Pickup Conc');
insert into SalinityMethod values (3, 'Diversion Concentration (mg/l)', 'Diversion Salt Concentration');
insert into SalinityMethod values (4, 'Mass Removal (tons/yr)', 'Salt Mass Removal');

create table AttrType (AttrTypeID integer primary key, Caption text);
insert into AttrType values (1, 'Aggregate Diversion Attribute');
insert into AttrType values (2, 'Water User Attribute');

create table CalcMethod (CalcMethodID integer primary key, "Method" text);
insert into CalcMethod values (1, 'Use Baseline Data Plus Changed Values');
insert into CalcMethod values (2, 'Interpolate Using Changed Values Only');

create table ChangeType (ChangeTypeID integer primary key, Name text not null);
insert into ChangeType values (1, 'Percent Change');
insert into ChangeType values (2, 'Amount Change');
insert into ChangeType values (3, 'New Amount');
insert into ChangeType values (4, 'Set to a Baseline Year');

create table CurveDataType (CurveDataTypeID integer primary key, Name text not null);
insert into CurveDataType values (1, 'Depletion');
insert into CurveDataType values (2, 'Diversion');
insert into CurveDataType values (3, 'Salinity');

create table AggDiv (
    AggDivID integer primary key autoincrement,
    BaselineID integer not null default 1 references Baseline on delete cascade,
    SalinityMethodID integer not null default 4 references SalinityMethod,
    SiteName text,
    RiffleName text,
    Notes text,
    Ord integer
);

create table Scenario (
    ScenarioID integer primary key autoincrement,
    BaselineID integer not null default 1 references Baseline on delete cascade,
    ScenarioName text,
    ScenarioShortName text,
    ScenarioDescription text,
    "Analyst" text,
    "Opened" text,
    "Revised" text
);

create table WaterUser (
    WaterUserID integer not null,
    AggDivID integer not null,
    ScenarioID integer,
    WaterUserName text,
    RiffleName text,
    Notes text,
    Ord integer,
    constraint wu_key primary key (WaterUserID),
    constraint wu_site foreign key (AggDivID) references AggDiv (AggDivID) on delete cascade,
    constraint wu_scenario foreign key (ScenarioID) references Scenario (ScenarioID) on delete cascade
);
create index ix_wu_site on WaterUser (AggDivID);
create index ix_wu_scen on WaterUser (ScenarioID);

create table WaterUserData (
    "Row No" integer primary key,
    WaterUserID integer not null references WaterUser (WaterUserID) on delete cascade,
    Year integer not null,
    DiversionReq double,
    DepletionReq double,
    EfficiencyRatio double,
    SalinityPickup double
);
create index ix_data on WaterUserData (WaterUserID);

create table WaterUserDist (
    "Dist Row" integer primary key,
    WaterUserID integer not null references WaterUser (WaterUserID) on delete cascade,
    "M01 %" float, "M02 %" float, "M03 %" float, "M04 %" float, "M05 %" float, "M06 %" float,
    "M07 %" float, "M08 %" float, "M09 %" float, "M10 %" float, "M11 %" float, "M12 %" float
);
create index ix_dist on WaterUserDist (WaterUserID);

create table Attribute (
    AttrID integer primary key,
    BaselineID integer not null default 1 references Baseline on delete cascade,
    AttrName text not null,
    AttrTypeID integer not null references AttrType
);

create table AttrValidVal (
    AttrValidValID integer primary key,
    AttrID integer not null references Attribute on delete cascade,
    AttrVal text not null
);
create index ix_values on AttrValidVal (AttrID);

create table AggDivAttr (
    AggDivAttrID integer primary key,
    AttrID integer not null references Attribute on delete cascade,
    AggDivID integer not null references AggDiv on delete cascade,
    AttrValidValID integer not null references AttrValidVal on delete cascade
);
create unique index ux_site_attr on AggDivAttr (AttrID, AggDivID);
create index ix_site_attr_value on AggDivAttr (AttrValidValID);

create table WaterUserAttr (
    WaterUserAttrID integer primary key,
    AttrID integer not null references Attribute on delete cascade,
    WaterUserID integer not null references WaterUser on delete cascade,
    AttrValidValID integer not null references AttrValidVal on delete cascade
);
create unique index ux_wu_attr on WaterUserAttr (AttrID, WaterUserID);
create index ix_wu_attr_value on WaterUserAttr (AttrValidValID);

create table DemandChg (
    DemandChgID integer primary key,
    ScenarioID integer not null references Scenario on delete cascade,
    "Title" text,
    "Remarks" text,
    CreatedDate text,
    "Depletion Method" integer not null default 1 references CalcMethod,
    "Efficiency Method" integer not null default 1 references CalcMethod,
    "By Filter" boolean not null default 0
);
create index ix_chg_scen on DemandChg (ScenarioID);

create table DepletionChg (
    "Line" integer primary key,
    DemandChgID integer not null references DemandChg on delete cascade,
    Year integer not null,
    ChangeTypeID integer not null references ChangeType,
    "Amount" double
);
create index ix_dep_chg on DepletionChg (DemandChgID);

create table EfficiencyChg (
    "Line" integer primary key,
    DemandChgID integer not null references DemandChg on delete cascade,
    Year integer not null,
    ChangeTypeID integer not null references ChangeType,
    "Amount" double
);
create index ix_eff_chg on EfficiencyChg (DemandChgID);

create table DemandChgWaterUser (
    "Link" integer primary key,
    DemandChgID integer not null references DemandChg on delete cascade,
    WaterUserID integer not null references WaterUser on delete cascade
);
create index ix_member_chg on DemandChgWaterUser (DemandChgID);
create index ix_member_wu on DemandChgWaterUser (WaterUserID);

create table DemandSelection (
    "Filter Row" integer primary key,
    DemandChgID integer not null references DemandChg on delete cascade,
    AttrID integer not null references Attribute on delete cascade,
    AttrValidValID integer not null references AttrValidVal on delete cascade
);
create index ix_selection on DemandSelection (DemandChgID);

-- The plot list shows this table's own column names, so they stay as the program expects.
create table Plot (PlotID integer primary key, Name text, Description text);

create table PlotScenario (
    "Shown" integer primary key,
    PlotID integer not null references Plot on delete cascade,
    ScenarioID integer references Scenario on delete cascade
);
create index ix_plot_scen on PlotScenario (PlotID);

create table PlotCurve (
    PlotCurveID integer primary key,
    PlotID integer not null references Plot on delete cascade,
    Name text,
    CurveDataTypeID integer not null default 1 references CurveDataType
);

create table PlotCurveFilter (
    "Curve Filter Row" integer primary key,
    PlotCurveID integer not null references PlotCurve on delete cascade,
    AttrID integer not null references Attribute on delete cascade,
    AttrValidValID integer not null references AttrValidVal on delete cascade
);

create table PlotCurveWaterUser (
    PlotCurveWaterUserID integer primary key,
    PlotCurveID integer not null references PlotCurve on delete cascade,
    WaterUserID integer not null references WaterUser on delete cascade
);
create index ix_curve_wu on PlotCurveWaterUser (WaterUserID);

create table BaseYearlyAggDiv (
    "r" integer primary key, BaselineID integer, AggDivID integer references AggDiv on delete cascade,
    Year integer, AggDivSalinityValue double
);
create index ix_bya on BaseYearlyAggDiv (AggDivID);
create table BaseMonthlyAggDiv (
    "r" integer primary key, BaselineID integer, AggDivID integer references AggDiv on delete cascade,
    Month text, AggDivSalinityValue double
);
create index ix_bma on BaseMonthlyAggDiv (AggDivID, Month);
create table BaseYearlyWaterUser (
    "r" integer primary key, BaselineID integer,
    WaterUserID integer references WaterUser on delete cascade, Year integer,
    DiversionValue double, DepletionValue double, EfficiencyRatioValue double,
    SalinityPickupValue double
);
create index ix_byw on BaseYearlyWaterUser (WaterUserID);
create table BaseMonthlyWaterUser (
    "r" integer primary key, BaselineID integer,
    WaterUserID integer references WaterUser on delete cascade, Month text,
    DiversionValue double, DepletionValue double
);
create index ix_bmw on BaseMonthlyWaterUser (WaterUserID, Month);
create table ScenarioYearlyAggDiv (
    "r" integer primary key, BaselineID integer,
    ScenarioID integer references Scenario on delete cascade,
    AggDivID integer references AggDiv on delete cascade, Year integer, AggDivSalinityValue double
);
create index ix_sya on ScenarioYearlyAggDiv (ScenarioID, AggDivID);
create table ScenarioMonthlyAggDiv (
    "r" integer primary key, BaselineID integer,
    ScenarioID integer references Scenario on delete cascade,
    AggDivID integer references AggDiv on delete cascade, Month text, AggDivSalinityValue double
);
create index ix_sma on ScenarioMonthlyAggDiv (ScenarioID, AggDivID, Month);
create table ScenarioYearlyWaterUser (
    "r" integer primary key, BaselineID integer,
    ScenarioID integer references Scenario on delete cascade,
    WaterUserID integer references WaterUser on delete cascade, Year integer,
    DiversionValue double, DepletionValue double, EfficiencyRatioValue double,
    SalinityPickupValue double
);
create index ix_syw on ScenarioYearlyWaterUser (ScenarioID, WaterUserID);
create table ScenarioMonthlyWaterUser (
    "r" integer primary key, BaselineID integer,
    ScenarioID integer references Scenario on delete cascade,
    WaterUserID integer references WaterUser on delete cascade, Month text,
    DiversionValue double, DepletionValue double
);
create index ix_smw on ScenarioMonthlyWaterUser (ScenarioID, WaterUserID, Month);
