-- Schema of a project database: tables, seed rows, indexes, triggers and views.
-- The program runs this text whole, in one transaction, on a freshly created database.
-- Every table, index, trigger and view is dropped first, so running it again on an
-- existing project replaces the schema and its seed rows.
--
-- Declared column types decide how values are read back: GPSTIME holds GPS time as
-- integer ticks of 0.1 ms, RXYZ, RLAT, RLON and RALT hold coordinates, the INT_... and
-- INTOBJTYPE types hold enumeration codes. Keep them exactly as written.
--
-- The delete triggers cascade through each other (an ObjInfo row removes its object,
-- a data set its epochs and recordsets, and so on). They rely on SQLite's default of
-- recursive triggers being off: a trigger that is already running is not fired again,
-- which ends the cycles between ObjInfo and the object tables.
--
-- The views ObjInfoViewVectors (VectType) and CoordsViewStd (SQRT) call SQL functions
-- that the program registers on every connection it opens.

-- Tables
DROP TABLE IF EXISTS "SatsDisabled";
CREATE TABLE IF NOT EXISTS "SatsDisabled" (
	"ID"	INTEGER NOT NULL,
	"svprn"	INTEGER NOT NULL,
	"BegTime"	GPSTIME NOT NULL,
	"Endtime"	GPSTIME NOT NULL,
	PRIMARY KEY("ID","svprn","BegTime")
);
DROP TABLE IF EXISTS "SatArray";
CREATE TABLE IF NOT EXISTS "SatArray" (
	"DataSetID"	INTEGER NOT NULL,
	"svprn"	INTEGER NOT NULL,
	"SatCode"	INTEGER NOT NULL,
	"Beg"	GPSTIME NOT NULL,
	"End"	GPSTIME NOT NULL,
	"El"	INTEGER NOT NULL,
	"ObsTypes"	INTEGER NOT NULL,
	"State"	INTEGER NOT NULL,
	PRIMARY KEY("DataSetID","svprn","Beg")
);
DROP TABLE IF EXISTS "RotationMatrix";
CREATE TABLE IF NOT EXISTS "RotationMatrix" (
	"EpochID"	INTEGER NOT NULL,
	"time"	INTEGER NOT NULL,
	"q00"	REAL,
	"q01"	REAL,
	"q02"	REAL,
	"q12"	REAL,
	PRIMARY KEY("EpochID"),
	FOREIGN KEY("EpochID") REFERENCES "Epochs"("EpochID") ON DELETE CASCADE
);
DROP TABLE IF EXISTS "Observer";
CREATE TABLE IF NOT EXISTS "Observer" (
	"ObserverID"	INTEGER NOT NULL UNIQUE,
	"ObserverName"	TEXT,
	"ObserverAgency"	TEXT,
	PRIMARY KEY("ObserverID")
);
DROP TABLE IF EXISTS "ObjID";
CREATE TABLE IF NOT EXISTS "ObjID" (
	"ObjID"	INTEGER NOT NULL
);
DROP TABLE IF EXISTS "MotionType";
CREATE TABLE IF NOT EXISTS "MotionType" (
	"ID"	INTEGER,
	"Typ"	TEXT,
	PRIMARY KEY("ID")
);
DROP TABLE IF EXISTS "Epochs";
CREATE TABLE IF NOT EXISTS "Epochs" (
	"EpochID"	INTEGER NOT NULL UNIQUE,
	"DataSetID"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME NOT NULL,
	"Interval"	INTEGER NOT NULL DEFAULT 0,
	"NumSat"	INTEGER NOT NULL DEFAULT 0,
	"EpochFlag"	INTEGER NOT NULL DEFAULT 0,
	"Enabled"	INTEGER NOT NULL DEFAULT 0,
	"CrdType"	INTEGER NOT NULL DEFAULT 0,
	PRIMARY KEY("EpochID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "CoordinatesExt";
CREATE TABLE IF NOT EXISTS "CoordinatesExt" (
	"CrdID"	INTEGER NOT NULL UNIQUE,
	"clock"	REAL NOT NULL DEFAULT 0,
	"rms"	REAL NOT NULL DEFAULT 0,
	"pdop"	REAL NOT NULL DEFAULT 0,
	"gdop"	REAL NOT NULL DEFAULT 0,
	"hdop"	REAL NOT NULL DEFAULT 0,
	"tdop"	REAL NOT NULL DEFAULT 0,
	"SatsUsed"	INTEGER NOT NULL DEFAULT 0,
	PRIMARY KEY("CrdID")
);
DROP TABLE IF EXISTS "Almanach";
CREATE TABLE IF NOT EXISTS "Almanach" (
	"GpsTime"	GPSTIME NOT NULL,
	"svprn"	INTEGER NOT NULL,
	"SatCode"	INTEGER NOT NULL DEFAULT 0,
	"sv"	INTEGER NOT NULL DEFAULT 0,
	"wna"	INTEGER DEFAULT 0,
	"toa"	INTEGER DEFAULT 0,
	"healthA"	INTEGER DEFAULT 0,
	"healthS"	INTEGER DEFAULT 0,
	"config"	INTEGER DEFAULT 0,
	"af1"	REAL DEFAULT 0,
	"af0"	REAL DEFAULT 0,
	"rootA"	REAL DEFAULT 0,
	"ecc"	REAL DEFAULT 0,
	"m0"	REAL DEFAULT 0,
	"omega0"	REAL DEFAULT 0,
	"argPer"	REAL DEFAULT 0,
	"omegaDot"	REAL DEFAULT 0,
	"frqNum"	INTEGER DEFAULT 0,
	"dna"	INTEGER DEFAULT 0,
	"tlam"	REAL DEFAULT 0,
	"health"	INTEGER DEFAULT 0,
	"tauN"	REAL DEFAULT 0,
	"tauSys"	REAL DEFAULT 0,
	"lambda"	REAL DEFAULT 0,
	"delT"	REAL DEFAULT 0,
	"delTdt"	REAL DEFAULT 0,
	"deli"	REAL DEFAULT 0,
	PRIMARY KEY("GpsTime","svprn")
);
DROP TABLE IF EXISTS "SolutionsStatic";
CREATE TABLE IF NOT EXISTS "SolutionsStatic" (
	"SolutionID"	INTEGER NOT NULL DEFAULT 0 UNIQUE,
	"Contrast"	REAL NOT NULL DEFAULT 0,
	"NumAmbig"	INTEGER NOT NULL DEFAULT 0,
	"NumFixed"	INTEGER NOT NULL DEFAULT 0,
	"NumMeas"	INTEGER NOT NULL DEFAULT 0,
	"NumUsed"	INTEGER NOT NULL DEFAULT 0,
	"Obs"	INTEGER NOT NULL DEFAULT 0,
	"Ratio"	REAL NOT NULL DEFAULT 0,
	"Rms"	REAL NOT NULL DEFAULT 0,
	"SatUsed"	INTEGER NOT NULL DEFAULT 0,
	"DX"	REAL NOT NULL DEFAULT 0,
	"DY"	REAL NOT NULL DEFAULT 0,
	"DZ"	REAL NOT NULL DEFAULT 0,
	"SX"	REAL NOT NULL DEFAULT 0,
	"SY"	REAL NOT NULL DEFAULT 0,
	"SZ"	REAL NOT NULL DEFAULT 0,
	"CXY"	REAL NOT NULL DEFAULT 0,
	"CXZ"	REAL NOT NULL DEFAULT 0,
	"CYZ"	REAL NOT NULL DEFAULT 0,
	"GrndX"	REAL NOT NULL DEFAULT 0,
	"GrndY"	REAL NOT NULL DEFAULT 0,
	"GrndZ"	REAL NOT NULL DEFAULT 0,
	"SatCountBySys"	TEXT DEFAULT '',
	PRIMARY KEY("SolutionID")
);
DROP TABLE IF EXISTS "DataSets";
CREATE TABLE IF NOT EXISTS "DataSets" (
	"DataSetID"	INTEGER NOT NULL UNIQUE,
	"FRcvrId"	INTEGER NOT NULL,
	"AntennaNumber"	INTEGER NOT NULL DEFAULT 0,
	"DefaultSolutionID"	INTEGER NOT NULL,
	"Mode"	INTEGER NOT NULL DEFAULT 0,
	PRIMARY KEY("DataSetID")
);
DROP TABLE IF EXISTS "Objects";
CREATE TABLE IF NOT EXISTS "Objects" (
	"ObjType"	INTEGER NOT NULL,
	"ObjClassName"	TEXT,
	"abbr"	TEXT NOT NULL UNIQUE,
	PRIMARY KEY("ObjType")
);
DROP TABLE IF EXISTS "Velocity";
CREATE TABLE IF NOT EXISTS "Velocity" (
	"CrdID"	INTEGER NOT NULL UNIQUE,
	"X"	REAL NOT NULL DEFAULT 0,
	"Y"	REAL NOT NULL DEFAULT 0,
	"Z"	REAL NOT NULL DEFAULT 0,
	"S"	REAL NOT NULL DEFAULT 0,
	"E"	REAL NOT NULL,
	"N"	REAL NOT NULL,
	"U"	REAL NOT NULL,
	PRIMARY KEY("CrdID")
);
DROP TABLE IF EXISTS "ProjectEpoch";
CREATE TABLE IF NOT EXISTS "ProjectEpoch" (
	"Epoch"	REAL
);
DROP TABLE IF EXISTS "Residuals";
CREATE TABLE IF NOT EXISTS "Residuals" (
	"SolutionID"	INTEGER NOT NULL,
	"typ"	INTEGER NOT NULL,
	"freq"	INTEGER NOT NULL,
	"sv"	INTEGER NOT NULL,
	"sv_ref"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME NOT NULL,
	"residual"	REAL NOT NULL,
	PRIMARY KEY("SolutionID","typ","freq","sv","sv_ref","GPSTime")
);
DROP TABLE IF EXISTS "Settings";
CREATE TABLE IF NOT EXISTS "Settings" (
	"ObjID"	INTEGER,
	"TypeID"	INTEGER,
	"Field"	TEXT,
	"Value"	TEXT,
	PRIMARY KEY("ObjID","TypeID","Field")
);
DROP TABLE IF EXISTS "ambiguity";
CREATE TABLE IF NOT EXISTS "ambiguity" (
	"SolutionID"	INTEGER NOT NULL,
	"typ"	INTEGER NOT NULL,
	"freq"	INTEGER NOT NULL,
	"sv"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME NOT NULL,
	"value"	REAL NOT NULL,
	"description"	TEXT,
	PRIMARY KEY("SolutionID","typ","freq","sv","GPSTime")
);
DROP TABLE IF EXISTS "ReferencePointsGroups";
CREATE TABLE IF NOT EXISTS "ReferencePointsGroups" (
	"ID"	INTEGER NOT NULL,
	"ParentID"	INTEGER NOT NULL DEFAULT 0,
	"Name"	TEXT NOT NULL,
	PRIMARY KEY("ID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "DSrnxobs";
CREATE TABLE IF NOT EXISTS "DSrnxobs" (
	"DatasetID"	INTEGER NOT NULL,
	"SatCode"	INTEGER NOT NULL,
	"obsc"	INTEGER NOT NULL,
	"ChannelID"	INTEGER DEFAULT 0,
	PRIMARY KEY("DatasetID","SatCode","obsc")
);
DROP TABLE IF EXISTS "SatObs";
CREATE TABLE IF NOT EXISTS "SatObs" (
	"EpochID"	INTEGER NOT NULL,
	"svprn"	INTEGER NOT NULL,
	"SatCode"	INTEGER NOT NULL,
	"Elevation"	INTEGER NOT NULL,
	"Azimuth"	INTEGER,
	"ObsTypes"	INTEGER NOT NULL DEFAULT 0,
	"Data"	BLOB,
	PRIMARY KEY("EpochID","svprn")
);
DROP TABLE IF EXISTS "GLOSlots";
CREATE TABLE IF NOT EXISTS "GLOSlots" (
	"DatasetID"	INTEGER,
	"prn"	INTEGER,
	"channel"	INTEGER,
	PRIMARY KEY("DatasetID","prn")
);
DROP TABLE IF EXISTS "FileType";
CREATE TABLE IF NOT EXISTS "FileType" (
	"ID"	INTEGER,
	"eOrigFileTyp"	CHAR(30),
	"Description"	TEXT,
	PRIMARY KEY("ID")
);
DROP TABLE IF EXISTS "CoordinateSystemsGroups";
CREATE TABLE IF NOT EXISTS "CoordinateSystemsGroups" (
	"ID"	INTEGER NOT NULL,
	"ParentID"	INTEGER NOT NULL DEFAULT 0,
	"Name"	TEXT NOT NULL,
	PRIMARY KEY("ID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "CoordinateSystems";
CREATE TABLE IF NOT EXISTS "CoordinateSystems" (
	"CoordSysID"	INTEGER NOT NULL UNIQUE,
	"GroupID"	INTEGER NOT NULL DEFAULT 0,
	"Name"	TEXT NOT NULL,
	"Type"	INTEGER NOT NULL DEFAULT 0,
	"Datum"	TEXT NOT NULL DEFAULT '',
	"guid"	VARCHAR(36) NOT NULL DEFAULT '',
	PRIMARY KEY("CoordSysID")
);
DROP TABLE IF EXISTS "sp3_clk_header";
CREATE TABLE IF NOT EXISTS "sp3_clk_header" (
	"FileID"	INTEGER NOT NULL,
	"TimeSystem"	TEXT,
	"SatCodes"	INTEGER,
	"Agency"	TEXT,
	"GPSTimeBeg"	GPSTIME,
	"GPSTimeEnd"	GPSTIME,
	"Interval"	GPSTIME,
	"NumEpochs"	INTEGER,
	PRIMARY KEY("FileID")
);
DROP TABLE IF EXISTS "sp3_clk";
CREATE TABLE IF NOT EXISTS "sp3_clk" (
	"FileID"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME,
	"svprn"	INTEGER,
	"SatCode"	INTEGER,
	"T"	REAL,
	PRIMARY KEY("FileID","svprn","GPSTime")
);
DROP TABLE IF EXISTS "Recordsets";
CREATE TABLE IF NOT EXISTS "Recordsets" (
	"RecordsetID"	INTEGER NOT NULL UNIQUE,
	"RecordsetType"	INT_RECTYPE,
	"DataSetID"	INTEGER NOT NULL,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	"Interval"	INTEGER NOT NULL,
	"MarkerName"	TEXT,
	"MarkerNumber"	INTEGER NOT NULL DEFAULT 1,
	"AntennaNumber"	TEXT,
	"AntennaModel"	TEXT,
	"AntennaNGSModel"	TEXT,
	"AntennaDeltaH"	REAL,
	"AntennaDeltaE"	REAL,
	"AntennaDeltaN"	REAL,
	"AntennaHeight"	REAL,
	"AntennaVerticalHeight"	REAL,
	"AntennaHeightType"	INT_ANTENNAHEIGHTTYPE NOT NULL DEFAULT 0,
	"AntennaRX"	REAL,
	"AntennaRY"	REAL,
	"AntennaRZ"	REAL,
	"SiteID"	INTEGER NOT NULL DEFAULT 0,
	"MotionMode"	INT_MOTIONMODE NOT NULL,
	"flags"	INTEGER NOT NULL,
	"_GUID"	TEXT,
	"VertexID"	INTEGER NOT NULL,
	"Comment"	TEXT,
	PRIMARY KEY("RecordsetID")
);
DROP TABLE IF EXISTS "Files";
CREATE TABLE IF NOT EXISTS "Files" (
	"FileId"	INTEGER NOT NULL UNIQUE,
	"FileName"	TEXT,
	"Name"	TEXT,
	"Typ"	INT_ORIGFILETYP NOT NULL DEFAULT 0,
	"Version"	INTEGER NOT NULL DEFAULT 0,
	"URL"	TEXT,
	"Size"	INT8 NOT NULL DEFAULT 0,
	"Time"	REAL_DATETIME,
	"CRC"	INT8 NOT NULL DEFAULT 0,
	"BegTime"	GPSTIME NOT NULL DEFAULT 0,
	"EndTime"	GPSTIME NOT NULL DEFAULT 0,
	"Location"	INT_LOCATION,
	"NetFileID"	INTEGER,
	"Compression"	INT_COMPRESSION,
	"CmpCRC"	INT8,
	"_GUID"	TEXT,
	PRIMARY KEY("FileId")
);
DROP TABLE IF EXISTS "Receiver";
CREATE TABLE IF NOT EXISTS "Receiver" (
	"ReceiverID"	INTEGER NOT NULL UNIQUE,
	"ReceiverNumber"	TEXT,
	"ReceiverType"	TEXT,
	"FirmwareVersion"	TEXT,
	"SerialNumber"	TEXT,
	"Board"	TEXT,
	"BaseType"	INT_BASETYPE NOT NULL DEFAULT 0,
	PRIMARY KEY("ReceiverID")
);
DROP TABLE IF EXISTS "Sites";
CREATE TABLE IF NOT EXISTS "Sites" (
	"SiteID"	INTEGER NOT NULL UNIQUE,
	"SnapID"	INTEGER,
	"SnapedObjType"	INT_SNAPOBJTYPE,
	PRIMARY KEY("SiteID")
);
DROP TABLE IF EXISTS "SnapObjType";
CREATE TABLE "SnapObjType" (
	"SnapID"	INTEGER NOT NULL PRIMARY KEY UNIQUE,
	"abbr"	TEXT,
	"desc"	TEXT
);
INSERT INTO "SnapObjType" ("SnapID","abbr","desc") VALUES
	(0,'stNone',''),
	(1,'stSolution',''),
	(2,'stEdge',''),
	(3,'stManual',''),
	(4,'stRINEX',''),
	(5,'stFidPlane',''),
	(6,'stFidHeight',''),
	(7,'stFiducial',''),
	(8,'stVirtualBase','');
DROP TABLE IF EXISTS "Vectors";
CREATE TABLE IF NOT EXISTS "Vectors" (
	"VectorID"	INTEGER NOT NULL UNIQUE,
	"RecordsetID1"	INTEGER,
	"RecordsetID2"	INTEGER,
	"Inverse"	BOOLEAN NOT NULL DEFAULT 1,
	"BegTime"	GPSTIME,
	"EndTime"	GPSTIME,
	"Duration"	GPSTIME,
	"Interval"	GPSTIME,
	"MotionMode"	INT_MOTIONMODE NOT NULL,
	"Stop"	BOOLEAN NOT NULL DEFAULT 0,
	"Visible"	BOOLEAN NOT NULL DEFAULT 1,
	"Enable"	BOOLEAN NOT NULL DEFAULT 1,
	PRIMARY KEY("VectorID")
);
DROP TABLE IF EXISTS "Solutions";
CREATE TABLE IF NOT EXISTS "Solutions" (
	"SolutionID"	INTEGER NOT NULL DEFAULT 0 UNIQUE,
	"ParentID"	INTEGER NOT NULL,
	"SettingsID"	INTEGER NOT NULL,
	"SolutionType"	INTEGER NOT NULL,
	"Engine"	INTEGER NOT NULL,
	"EpochCount"	INTEGER NOT NULL DEFAULT 0,
	"GPSTimeBeg"	GPSTIME NOT NULL DEFAULT 0,
	"GPSTimeEnd"	GPSTIME NOT NULL DEFAULT 0,
	"ProcTime"	REAL_DATETIME NOT NULL DEFAULT 0,
	PRIMARY KEY("SolutionID")
);
DROP TABLE IF EXISTS "ObjInfo";
CREATE TABLE IF NOT EXISTS "ObjInfo" (
	"ObjID"	INTEGER NOT NULL UNIQUE,
	"ObjType"	INTOBJTYPE,
	"Name"	TEXT,
	"BegTime"	GPSTIME DEFAULT 0,
	"EndTime"	GPSTIME DEFAULT 0,
	"Size"	INT8 DEFAULT 0,
	"LinkObj1"	INTEGER DEFAULT 0,
	"LinkTyp1"	INTOBJTYPE DEFAULT 0,
	"LinkObj2"	INTEGER DEFAULT 0,
	"LinkTyp2"	INTOBJTYPE DEFAULT 0,
	"Mode"	INT8 DEFAULT 0,
	"StyleID"	INTEGER DEFAULT 0,
	"ObjLabel"	TEXT,
	"Visible"	BOOLEAN NOT NULL DEFAULT 1,
	"Enabled"	BOOLEAN NOT NULL DEFAULT 1,
	PRIMARY KEY("ObjID")
);
DROP TABLE IF EXISTS "ReferencePoints";
CREATE TABLE IF NOT EXISTS "ReferencePoints" (
	"PointID"	INTEGER NOT NULL UNIQUE,
	"GroupID"	INTEGER NOT NULL DEFAULT 0,
	"Name"	TEXT NOT NULL,
	"Type"	INTEGER NOT NULL DEFAULT 0,
	"X"	REAL NOT NULL,
	"Y"	REAL NOT NULL,
	"Z"	REAL NOT NULL,
	"CSX"	REAL NOT NULL DEFAULT 0,
	"CSY"	REAL NOT NULL DEFAULT 0,
	"CSZ"	REAL NOT NULL DEFAULT 0,
	"VKC"	TEXT NOT NULL DEFAULT '',
	"CovSXX"	REAL NOT NULL DEFAULT 0,
	"CovSYY"	REAL NOT NULL DEFAULT 0,
	"CovSZZ"	REAL NOT NULL DEFAULT 0,
	"CovSXY"	REAL NOT NULL DEFAULT 0,
	"CovSXZ"	REAL NOT NULL DEFAULT 0,
	"CovSYZ"	REAL NOT NULL DEFAULT 0,
	"UseV"	BOOLEAN NOT NULL DEFAULT 0,
	"VX"	REAL NOT NULL DEFAULT 0,
	"VY"	REAL NOT NULL DEFAULT 0,
	"VZ"	REAL NOT NULL DEFAULT 0,
	"Epoch"	REAL NOT NULL DEFAULT 0,
	"Comment"	TEXT NOT NULL DEFAULT '',
	"guid"	VARCHAR(36) NOT NULL DEFAULT '',
	PRIMARY KEY("PointID")
);
DROP TABLE IF EXISTS "EdgeSolutions";
CREATE TABLE IF NOT EXISTS "EdgeSolutions" (
	"SolutionID"	INTEGER NOT NULL UNIQUE,
	"EdgeID"	INTEGER NOT NULL,
	"Status"	INTEGER NOT NULL DEFAULT 0,
	"Name"	TEXT NOT NULL,
	"rX"	REAL NOT NULL,
	"rY"	REAL NOT NULL,
	"rZ"	REAL NOT NULL,
	"CXX"	REAL NOT NULL,
	"CYY"	REAL NOT NULL,
	"CZZ"	REAL NOT NULL,
	"CXY"	REAL NOT NULL,
	"CXZ"	REAL NOT NULL,
	"CYZ"	REAL NOT NULL,
	"Redundancy"	REAL NOT NULL,
	PRIMARY KEY("SolutionID","EdgeID")
);
DROP TABLE IF EXISTS "Nodes";
CREATE TABLE IF NOT EXISTS "Nodes" (
	"NodeID"	INTEGER NOT NULL UNIQUE,
	"SiteID"	INTEGER NOT NULL UNIQUE,
	"NodeType"	INTEGER NOT NULL DEFAULT 0,
	"SubNetID"	INTEGER NOT NULL DEFAULT 1,
	"X"	REAL NOT NULL,
	"Y"	REAL NOT NULL,
	"Z"	REAL NOT NULL,
	"CXX"	REAL NOT NULL,
	"CYY"	REAL NOT NULL,
	"CZZ"	REAL NOT NULL,
	"CXY"	REAL NOT NULL,
	"CXZ"	REAL NOT NULL,
	"CYZ"	REAL NOT NULL,
	"EllA"	REAL NOT NULL,
	"EllB"	REAL NOT NULL,
	"EllAngle"	REAL NOT NULL,
	"EllHeight"	REAL NOT NULL,
	PRIMARY KEY("NodeID","SiteID")
);
DROP TABLE IF EXISTS "SolLoops";
CREATE TABLE IF NOT EXISTS "SolLoops" (
	"LoopID"	INTEGER NOT NULL,
	"SolID"	INTEGER NOT NULL,
	"Ord"	INTEGER DEFAULT 0,
	"EndSiteID"	INTEGER DEFAULT 0,
	PRIMARY KEY("LoopID","SolID")
);
DROP TABLE IF EXISTS "SubNet";
CREATE TABLE IF NOT EXISTS "SubNet" (
	"SubNetID"	INTEGER NOT NULL UNIQUE,
	"CTau"	REAL NOT NULL DEFAULT 0,
	"ChiST"	BOOLEAN NOT NULL DEFAULT 0,
	"UWE"	REAL NOT NULL DEFAULT 0,
	"ChiSH"	REAL NOT NULL DEFAULT 0,
	"ChiSL"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("SubNetID")
);
DROP TABLE IF EXISTS "Loop";
CREATE TABLE IF NOT EXISTS "Loop" (
	"LoopID"	INTEGER NOT NULL UNIQUE,
	"LoopName"	TEXT NOT NULL,
	"LoopType"	INTEGER NOT NULL DEFAULT 0,
	"SubNetID"	INTEGER NOT NULL DEFAULT 1,
	"CXX"	REAL NOT NULL,
	"CYY"	REAL NOT NULL,
	"CZZ"	REAL NOT NULL,
	"CXY"	REAL NOT NULL,
	"CXZ"	REAL NOT NULL,
	"CYZ"	REAL NOT NULL,
	"Len"	REAL NOT NULL,
	PRIMARY KEY("LoopID")
);
DROP TABLE IF EXISTS "Ephemeris";
CREATE TABLE IF NOT EXISTS "Ephemeris" (
	"GPSTime"	GPSTIME NOT NULL,
	"svprn"	INTEGER NOT NULL,
	"NavType"	INTEGER NOT NULL,
	"SatCode"	INTEGER NOT NULL,
	"weekno"	INTEGER NOT NULL,
	"toc"	INTEGER,
	"toe"	INTEGER,
	"tom"	INTEGER,
	"af0"	REAL,
	"af1"	REAL,
	"af2"	REAL,
	"iode"	REAL,
	"crs"	REAL,
	"deltan"	REAL,
	"M0"	REAL,
	"cuc"	REAL,
	"ecc"	REAL,
	"cus"	REAL,
	"roota"	REAL,
	"cic"	REAL,
	"Omega0"	REAL,
	"cis"	REAL,
	"i0"	REAL,
	"crc"	REAL,
	"omega"	REAL,
	"Omegadot"	REAL,
	"idot"	REAL,
	"tgd"	REAL,
	"iodc"	REAL,
	"codes"	INTEGER,
	"L2flag"	INTEGER,
	"ura"	INTEGER,
	"bgdE1E5a"	REAL,
	"bgdE1E5b"	REAL,
	"ai0"	REAL,
	"ai1"	REAL,
	"ai2"	REAL,
	"sfi"	INTEGER,
	"tgd2"	REAL,
	"lTope"	INTEGER,
	"lTopc"	INTEGER,
	"dADot"	REAL,
	"fDelnDot"	REAL,
	"cURAoe"	INTEGER,
	"cURAoc"	INTEGER,
	"cURAoc1"	INTEGER,
	"cURAoc2"	INTEGER,
	"fIscL1CA"	REAL,
	"fIscL2C"	REAL,
	"fIscL5I5"	REAL,
	"fIscL5Q5"	REAL,
	"DAf0"	REAL,
	"fIscL1CP"	REAL,
	"fIscL1CD"	REAL,
	"Tk"	INTEGER,
	"Pos_X"	REAL,
	"Vel_X"	REAL,
	"Acs_X"	REAL,
	"Pos_Y"	REAL,
	"Vel_Y"	REAL,
	"Acs_Y"	REAL,
	"Pos_Z"	REAL,
	"Vel_Z"	REAL,
	"Acs_Z"	REAL,
	"health"	INTEGER NOT NULL,
	"freq_num"	INTEGER,
	"aoi"	REAL,
	"TauC"	REAL,
	"LeapSec"	INTEGER,
	"flags"	INTEGER,
	"fDelTauN"	REAL,
	"nFt"	INTEGER,
	"nN4"	INTEGER,
	"flags2"	INTEGER,
	"tGPS"	REAL,
	PRIMARY KEY("GPSTime","svprn","NavType")
);
DROP TABLE IF EXISTS "Iono";
CREATE TABLE IF NOT EXISTS "Iono" (
	"GPSTime"	GPSTIME NOT NULL,
	"SatCode"	INTEGER NOT NULL,
	"tot"	INTEGER NOT NULL,
	"wn"	INTEGER NOT NULL,
	"alpha0"	REAL,
	"alpha1"	REAL,
	"alpha2"	REAL,
	"alpha3"	REAL,
	"beta0"	REAL,
	"beta1"	REAL,
	"beta2"	REAL,
	"beta3"	REAL,
	PRIMARY KEY("GPSTime","SatCode")
);
DROP TABLE IF EXISTS "TimeParams";
CREATE TABLE IF NOT EXISTS "TimeParams" (
	"GPSTime"	GPSTIME NOT NULL DEFAULT 0,
	"Sys1"	INTEGER NOT NULL DEFAULT 0,
	"Sys2"	INTEGER NOT NULL DEFAULT 0,
	"a0"	REAL DEFAULT 0,
	"a1"	REAL DEFAULT 0,
	"tot"	INTEGER DEFAULT 0,
	"wnt"	INTEGER DEFAULT 0,
	"dtls"	INTEGER DEFAULT 0,
	"dn"	INTEGER DEFAULT 0,
	"wnlsf"	INTEGER DEFAULT 0,
	"dtlsf"	INTEGER DEFAULT 0,
	"tauSys"	REAL DEFAULT 0,
	"tauGps"	REAL DEFAULT 0,
	"B1"	REAL DEFAULT 0,
	"B2"	REAL DEFAULT 0,
	"KP"	INTEGER DEFAULT 0,
	"N4"	INTEGER DEFAULT 0,
	PRIMARY KEY("GPSTime","Sys1","Sys2")
);
DROP TABLE IF EXISTS "Edges";
CREATE TABLE IF NOT EXISTS "Edges" (
	"EdgeID"	INTEGER NOT NULL UNIQUE,
	"EdgeName"	TEXT NOT NULL,
	"EdgeType"	INTEGER NOT NULL DEFAULT 0,
	"SubNetID"	INTEGER NOT NULL DEFAULT 1,
	"BegSiteID"	INTEGER NOT NULL,
	"EndSiteID"	INTEGER NOT NULL,
	"dX"	REAL NOT NULL,
	"dY"	REAL NOT NULL,
	"dZ"	REAL NOT NULL,
	"CXX"	REAL NOT NULL DEFAULT 0,
	"CYY"	REAL NOT NULL DEFAULT 0,
	"CZZ"	REAL NOT NULL DEFAULT 0,
	"CXY"	REAL NOT NULL DEFAULT 0,
	"CXZ"	REAL NOT NULL DEFAULT 0,
	"CYZ"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("EdgeID")
);
DROP TABLE IF EXISTS "EvCraftHeading";
CREATE TABLE IF NOT EXISTS "EvCraftHeading" (
	"EventID"	INTEGER NOT NULL UNIQUE,
	"Roll"	REAL NOT NULL DEFAULT 0,
	"Pitch"	REAL NOT NULL DEFAULT 0,
	"Yaw"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("EventID")
);
DROP TABLE IF EXISTS "Events";
CREATE TABLE IF NOT EXISTS "Events" (
	"EventID"	INTEGER NOT NULL UNIQUE,
	"ParentID"	INTEGER NOT NULL,
	"GPSTime"	INTEGER NOT NULL,
	"sod"	REAL NOT NULL,
	"ev"	INTEGER NOT NULL,
	"evstr"	TEXT,
	"Param"	TEXT,
	"Name"	TEXT,
	PRIMARY KEY("EventID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "AdjustKinematic";
CREATE TABLE IF NOT EXISTS "AdjustKinematic" (
	"ObjID"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME NOT NULL,
	"RecID"	INTEGER NOT NULL,
	"RMS"	REAL NOT NULL,
	"fix"	INTEGER NOT NULL,
	"Residual"	REAL NOT NULL,
	PRIMARY KEY("ObjID","GPSTime")
);
DROP TABLE IF EXISTS "Cameras";
CREATE TABLE IF NOT EXISTS "Cameras" (
	"CamID"	INTEGER NOT NULL,
	"Name"	TEXT NOT NULL DEFAULT '',
	"DelayInterval"	REAL NOT NULL DEFAULT 0,
	"FocalDistance"	REAL NOT NULL DEFAULT 0,
	"DistanceToFilm"	REAL NOT NULL DEFAULT 0,
	"GyroMount"	BOOLEAN NOT NULL DEFAULT 0,
	"Comment"	TEXT NOT NULL DEFAULT '',
	"guid"	VARCHAR(36) NOT NULL DEFAULT '',
	PRIMARY KEY("CamID")
);
DROP TABLE IF EXISTS "Airplanes";
CREATE TABLE IF NOT EXISTS "Airplanes" (
	"AirID"	INTEGER NOT NULL,
	"Name"	TEXT NOT NULL DEFAULT '',
	"Xoffset"	REAL NOT NULL DEFAULT 0,
	"Yoffset"	REAL NOT NULL DEFAULT 0,
	"Zoffset"	REAL NOT NULL DEFAULT 0,
	"Comment"	TEXT NOT NULL DEFAULT '',
	"guid"	VARCHAR(36) NOT NULL DEFAULT '',
	PRIMARY KEY("AirID")
);
DROP TABLE IF EXISTS "AirParent";
CREATE TABLE IF NOT EXISTS "AirParent" (
	"ParentID"	INTEGER NOT NULL,
	"AirID"	INTEGER NOT NULL,
	PRIMARY KEY("ParentID")
);
DROP TABLE IF EXISTS "CamParent";
CREATE TABLE IF NOT EXISTS "CamParent" (
	"ParentID"	INTEGER NOT NULL,
	"EventType"	INTEGER NOT NULL DEFAULT 0,
	"CamID"	INTEGER NOT NULL,
	PRIMARY KEY("ParentID","EventType")
);
DROP TABLE IF EXISTS "Coordinates";
CREATE TABLE IF NOT EXISTS "Coordinates" (
	"CrdID"	INTEGER NOT NULL UNIQUE,
	"ObjType"	INTEGER NOT NULL,
	"ObjID"	INTEGER NOT NULL,
	"SubObjID"	INTEGER NOT NULL,
	"PointType"	INTEGER NOT NULL,
	"X"	RXYZ NOT NULL DEFAULT 0,
	"Y"	RXYZ NOT NULL DEFAULT 0,
	"Z"	RXYZ NOT NULL DEFAULT 0,
	"LAT"	RLAT NOT NULL DEFAULT 0,
	"LON"	RLON NOT NULL DEFAULT 0,
	"ALT"	RALT NOT NULL DEFAULT 0,
	"SX"	REAL NOT NULL,
	"SY"	REAL NOT NULL,
	"SZ"	REAL NOT NULL,
	"CXY"	REAL NOT NULL DEFAULT 0,
	"CXZ"	REAL NOT NULL DEFAULT 0,
	"CYZ"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("CrdID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "BaseType";
CREATE TABLE IF NOT EXISTS "BaseType" (
	"BaseType"	INTEGER NOT NULL,
	"abbr"	TEXT NOT NULL UNIQUE,
	"ord"	INTEGER,
	PRIMARY KEY("BaseType")
);
DROP TABLE IF EXISTS "ProjectData";
CREATE TABLE IF NOT EXISTS "ProjectData" (
	"ID"	INTEGER NOT NULL UNIQUE,
	"OrigID"	INTEGER NOT NULL,
	"Path"	TEXT,
	"FileName"	TEXT,
	"Created"	INTEGER NOT NULL,
	"Modified"	INTEGER,
	"BegTime"	INTEGER,
	"EndTime"	INTEGER,
	"CreatedBy"	TEXT,
	"ModifiedBy"	TEXT,
	"Size"	INTEGER,
	"Lat1"	REAL,
	"Lat2"	REAL,
	"Lon1"	REAL,
	"Lon2"	REAL,
	"Alt1"	REAL,
	"Alt2"	REAL,
	"Kinematic"	BOOL,
	"CS"	INTEGER,
	"TRID"	INTEGER NOT NULL,
	PRIMARY KEY("TRID" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "FileReceiver";
CREATE TABLE IF NOT EXISTS "FileReceiver" (
	"FRcvrID"	INTEGER NOT NULL UNIQUE,
	"FileID"	INTEGER NOT NULL,
	"ReceiverID"	INTEGER NOT NULL DEFAULT 0,
	"ObserverID"	INTEGER NOT NULL DEFAULT 0,
	"AntCount"	INTEGER NOT NULL DEFAULT 0,
	"BegTime"	GPSTIME NOT NULL DEFAULT 0,
	"EndTime"	GPSTIME NOT NULL DEFAULT 0,
	"SourceType"	INT_ORIGFILETYP NOT NULL DEFAULT 0,
	"FirmwareVersion"	INTEGER NOT NULL DEFAULT 0,
	"BaseType"	INT_BASETYPE NOT NULL DEFAULT 0,
	"Messages"	TEXT,
	PRIMARY KEY("FRcvrID")
);
DROP TABLE IF EXISTS "ObsInfo";
CREATE TABLE IF NOT EXISTS "ObsInfo" (
	"DatasetID"	INTEGER NOT NULL,
	"sv"	INTEGER NOT NULL,
	"slot"	INTEGER NOT NULL,
	"types"	INTEGER NOT NULL,
	"ChannelID"	INTEGER NOT NULL,
	"shift"	REAL,
	PRIMARY KEY("DatasetID","sv","slot")
);
DROP TABLE IF EXISTS "GNSS";
CREATE TABLE IF NOT EXISTS "GNSS" (
	"GNSSid"	INTEGER DEFAULT 0,
	"system"	VARCHAR(50) DEFAULT NULL,
	"abbr"	VARCHAR(50) DEFAULT NULL,
	PRIMARY KEY("GNSSid")
);
DROP TABLE IF EXISTS "sp3_pos";
CREATE TABLE IF NOT EXISTS "sp3_pos" (
	"FileID"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME,
	"svprn"	INTEGER,
	"SatCode"	INTEGER,
	"X"	REAL,
	"Y"	REAL,
	"Z"	REAL,
	"T"	REAL,
	"SX"	INTEGER,
	"SY"	INTEGER,
	"SZ"	INTEGER,
	"ST"	INTEGER,
	"Predicted"	BOOLEAN,
	PRIMARY KEY("FileID","svprn","GPSTime")
);
DROP TABLE IF EXISTS "sp3_header";
CREATE TABLE IF NOT EXISTS "sp3_header" (
	"FileID"	INTEGER NOT NULL,
	"DataUsed"	TEXT,
	"CoordSystem"	TEXT,
	"OrbitType"	TEXT,
	"SatCodes"	INTEGER,
	"Agency"	TEXT,
	"GPSTimeBeg"	GPSTIME,
	"GPSTimeEnd"	GPSTIME,
	"GPSTimePredicted"	GPSTIME,
	"Interval"	GPSTIME,
	"NumEpochs"	INTEGER,
	"Fmt"	TEXT,
	"NumSat"	INTEGER,
	"TimeSystem"	TEXT,
	"BasePos"	REAL,
	"BaseClock"	REAL,
	"FileName"	Text,
	"Typ"	Integer,
	PRIMARY KEY("FileID")
);
DROP TABLE IF EXISTS "Version";
CREATE TABLE IF NOT EXISTS "Version" (
	"num"	INTEGER,
	"ver"	TEXT,
	"lcommit"	TEXT
);
DROP TABLE IF EXISTS "ssr_header";
CREATE TABLE IF NOT EXISTS "ssr_header" (
	"hid"	INTEGER,
	"day"	INTEGER,
	"version"	INTEGER,
	"regional"	INTEGER,
	"IODSSR"	INTEGER,
	"PrvID"	INTEGER,
	"SolID"	INTEGER,
	PRIMARY KEY("hid" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_hdr_orbits";
CREATE TABLE IF NOT EXISTS "ssr_hdr_orbits" (
	"hid"	INTEGER,
	"id"	INTEGER,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	PRIMARY KEY("id" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_orbits";
CREATE TABLE IF NOT EXISTS "ssr_orbits" (
	"id"	INTEGER,
	"svprn"	INTEGER NOT NULL,
	"IOD"	INTEGER NOT NULL,
	"Radial"	RXYZ NOT NULL DEFAULT 0,
	"Along"	RXYZ NOT NULL DEFAULT 0,
	"Crs"	RXYZ NOT NULL DEFAULT 0,
	"RadialDot"	RXYZ NOT NULL DEFAULT 0,
	"AlongDot"	RXYZ NOT NULL DEFAULT 0,
	"CrsDot"	RXYZ NOT NULL DEFAULT 0,
	PRIMARY KEY("id","svprn")
);
DROP TABLE IF EXISTS "ssr_hdr_clocks";
CREATE TABLE IF NOT EXISTS "ssr_hdr_clocks" (
	"hid"	INTEGER,
	"id"	INTEGER,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	PRIMARY KEY("id" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_clocks";
CREATE TABLE IF NOT EXISTS "ssr_clocks" (
	"id"	INTEGER,
	"svprn"	INTEGER NOT NULL,
	"C0"	RXYZ NOT NULL DEFAULT 0,
	"C1"	RXYZ NOT NULL DEFAULT 0,
	"C2"	RXYZ NOT NULL DEFAULT 0,
	PRIMARY KEY("id","svprn")
);
DROP TABLE IF EXISTS "ssr_hdr_code";
CREATE TABLE IF NOT EXISTS "ssr_hdr_code" (
	"hid"	INTEGER,
	"id"	INTEGER,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	PRIMARY KEY("id" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_code_bias";
CREATE TABLE IF NOT EXISTS "ssr_code_bias" (
	"id"	INTEGER,
	"svprn"	INTEGER NOT NULL,
	"signal"	INTEGER NOT NULL,
	"bias"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("id","svprn","signal")
);
DROP TABLE IF EXISTS "ssr_hdr_phase";
CREATE TABLE IF NOT EXISTS "ssr_hdr_phase" (
	"hid"	INTEGER,
	"id"	INTEGER,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	"flags"	INTEGER,
	PRIMARY KEY("id" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_phase_sat";
CREATE TABLE IF NOT EXISTS "ssr_phase_sat" (
	"sid"	INTEGER,
	"id"	INTEGER,
	"svprn"	INTEGER NOT NULL,
	"yawangle"	REAL,
	"yawrate"	REAL,
	PRIMARY KEY("sid" AUTOINCREMENT)
);
DROP TABLE IF EXISTS "ssr_phase_bias";
CREATE TABLE IF NOT EXISTS "ssr_phase_bias" (
	"sid"	INTEGER,
	"signal"	INTEGER NOT NULL,
	"flags"	INTEGER NOT NULL,
	"bias"	REAL NOT NULL DEFAULT 0,
	PRIMARY KEY("sid","signal")
);
DROP TABLE IF EXISTS "RTK_Results";
CREATE TABLE IF NOT EXISTS "RTK_Results" (
	"SolutionID"	INTEGER NOT NULL,
	"GPSTime"	GPSTIME NOT NULL,
	"SatNum"	INTEGER DEFAULT 0,
	"NumSats"	TEXT,
	"fix"	INTEGER NOT NULL,
	"dX"	REAL NOT NULL,
	"dY"	REAL NOT NULL,
	"dZ"	REAL NOT NULL,
	"sXX"	REAL NOT NULL,
	"sXY"	REAL NOT NULL,
	"sXZ"	REAL NOT NULL,
	"sYY"	REAL NOT NULL,
	"sYZ"	REAL NOT NULL,
	"sZZ"	REAL NOT NULL,
	"pdop"	REAL NOT NULL,
	"VX"	REAL NOT NULL,
	"VY"	REAL NOT NULL,
	"VZ"	REAL NOT NULL,
	"Rms"	REAL DEFAULT 0,
	"SolType"	INTEGER DEFAULT 0,
	"MeasCount"	INTEGER DEFAULT 0,
	"MeasCountUsed"	INTEGER DEFAULT 0,
	"GFix"	TEXT,
	"Enabled"	BOOLEAN NOT NULL DEFAULT 1,
	PRIMARY KEY("SolutionID","GPSTime")
);
DROP TABLE IF EXISTS "ssr_hdr_iono";
CREATE TABLE IF NOT EXISTS "ssr_hdr_iono" (
	"VTEC"	INTEGER,
	"NumLayers"	INTEGER,
	"BegTime"	GPSTIME NOT NULL,
	"EndTime"	GPSTIME NOT NULL,
	PRIMARY KEY("BegTime")
);
DROP TABLE IF EXISTS "ssr_iono_layers";
CREATE TABLE IF NOT EXISTS "ssr_iono_layers" (
	"BegTime"	GPSTIME NOT NULL,
	"Layer"	INTEGER NOT NULL,
	"Height"	REAL NOT NULL DEFAULT 0,
	"Degree"	INTEGER NOT NULL,
	"Ord"	INTEGER NOT NULL,
	"CS"	TEXT,
	PRIMARY KEY("BegTime","Layer")
);

-- Seed rows
INSERT INTO "ObjID" ("ObjID") VALUES (0);
INSERT INTO "MotionType" ("ID","Typ") VALUES
	(0,'Static'),
	(1,'Dynamic'),
	(2,'Stop&Go');
INSERT INTO "Objects" ("ObjType","ObjClassName","abbr") VALUES
	(0,'Unknown','OBJ_UNKNOWN'),
	(1,'File','OBJ_FILE'),
	(2,'Observation File','OBJ_OBSFILE'),
	(3,'Receiver','OBJ_RECEIVER'),
	(4,'Filereceiver','OBJ_FILERECEIVER'),
	(5,'Dataset','OBJ_DATASET'),
	(6,'Fullset','OBJ_FULLSET'),
	(7,'Recordset','OBJ_RECORDSET'),
	(8,'Stop','OBJ_STOP'),
	(9,'Go','OBJ_GO'),
	(10,'Epoch','OBJ_EPOCH'),
	(11,'Static Vector','OBJ_VECTOR_STATIC'),
	(12,'Kinematic Vector','OBJ_VECTOR_KINEMATIC'),
	(13,'Stop Vector','OBJ_VECTOR_STOP'),
	(14,'Observer','OBJ_OBSERVER'),
	(15,'Ephemeris file','OBJ_EPHEMERIS'),
	(16,'Date','OBJ_DATE'),
	(17,'Root','OBJ_ROOT'),
	(18,'Static Solution','OBJ_STATIC_SOLUTION'),
	(19,'Kinematic Solution','OBJ_KINEMATIC_SOLUTION'),
	(20,'Standalone Solution','OBJ_STANDALONE_SOLUTION'),
	(21,'Residual','OBJ_RESIDUAL'),
	(22,'RTKResults','OBJ_RTKRESULTS'),
	(23,'Site','OBJ_SITE'),
	(24,'Reference point','OBJ_REFPOINT'),
	(25,'GNSS Station','OBJ_STATION'),
	(26,'Contour','OBJ_CONTOUR'),
	(27,'Ambiguity','OBJ_AMBIGUITY'),
	(28,'Base','OBJ_VECTOR_BASE'),
	(29,'Edge','OBJ_EDGE'),
	(30,'Node','OBJ_NODE'),
	(31,'External events (XA,XB)','OBJ_EXTERNAL_EVENT'),
	(32,'Adjusted kinematic','OBJ_ADJUST_KINEMATIC'),
	(33,'Static PPP','OBJ_STATIC_PPP'),
	(35,'Haldor Project','OBJ_PROJECT');
INSERT INTO "ProjectEpoch" ("Epoch") VALUES (0.0);
INSERT INTO "Settings" ("ObjID","TypeID","Field","Value") VALUES
	(0,0,'Scenario.MaxVectorLengthKm','3000.0'),
	(0,0,'Gen.Creator',''),
	(0,0,'Gen.Agency',''),
	(0,0,'Gen.Comment',''),
	(0,0,'Gen.TimeCreate','45636.6489364236'),
	(0,0,'Gen.Guid','{69D82A08-B796-43BF-8461-7EC48BCF3110}'),
	(0,0,'Gen.CoordSysGuid','{416B0391-6DF9-4BF4-9904-E7C7CDDE3D19}'),
	(0,0,'Scenario.EpochGap','300'),
	(0,0,'Scenario.RecMinLength','3'),
	(0,0,'Scenario.Tolerance','3.0'),
	(0,0,'Scenario.StaticCriteria','5.0'),
	(0,0,'Scenario.fMaxVectorLengthKm','3000.0');
INSERT INTO "FileType" ("ID","eOrigFileTyp","Description") VALUES
	(0,'OFT_UNKNOWN','Unknown'),
	(1,'OFT_VLB','VLB file'),
	(2,'OFT_RNXOBS','RINEX observations'),
	(3,'OFT_EMULATOR','Emulator'),
	(4,'OFT_NTRIP','NTRIP'),
	(5,'OFT_RTCM3','RTCM'),
	(6,'OFT_CMR','CMR'),
	(7,'OFT_BN_GPS','RINENX GPS broadcast ephemeris'),
	(8,'OFT_BN_GLO','RINENX GLONASS broadcast ephemeris'),
	(9,'OFT_BN','RINENX broadcast ephemeris'),
	(10,'OFT_PN_GPS','GPS precise ephemeris'),
	(11,'OFT_PN_GLO','GLONASS precise ephemeris'),
	(12,'OFT_RNXMET','RINEX meteodata'),
	(13,'OFT_COORD','GNSS Stations & coordinates'),
	(14,'OFT_PN_CLOCKS','Precise clocks'),
	(15,'OFT_ANT_OFFSET','Antenna offsets'),
	(16,'OFT_BIAS','CA biases'),
	(17,'OFT_PN_ALL','precise ephemeris for all GNSS'),
	(18,'OFT_DCB','differential code bias'),
	(19,'OFT_EOP','Earth Orientation Parameters'),
	(20,'OFT_MERGED_OBS','Merged datasets'),
	(21,'OFT_WSB','Wide Lane Satellite Biases'),
	(22,'OFT_RCVRS','Receiver numbers'),
	(23,'OFT_BIA','Pseudo-absolute biases (OSB) '),
	(24,'OFT_RNX','All RINEX files');
INSERT INTO "CoordinateSystemsGroups" ("ID","ParentID","Name") VALUES
	(1,0,'Default'),
	(2,0,'Default'),
	(3,0,'World');
INSERT INTO "CoordinateSystems" ("CoordSysID","GroupID","Name","Type","Datum","guid") VALUES
	(1,3,'WGS84',1,'<Transforms><Transform Kind="Geodetic" Datum="WGS84" A="6378137.0" InvF="298.257223563" Units="deg"/></Transforms>','{416B0391-6DF9-4BF4-9904-E7C7CDDE3D19}'),
	(2,3,'WGS84(ECEF)',0,'<Transforms><Transform Kind="Geocentric" Datum="WGS84" A="6378137.0" InvF="298.257223563" Units="m"/></Transforms>','{CC8FDF74-FF7D-4B28-94A1-52010BEB8724}'),
	(3,3,'World Mercator',2,'<Transforms><Transform Kind="Geodetic" Datum="WGS84" A="6378137.0" InvF="298.257223563" Units="deg"/><Transform Kind="Mercator" Lon0="0.0" K0="1.0" FalseEasting="0.0" FalseNorthing="0.0" Units="m"/></Transforms>','{F1E7C752-0CA1-478E-865F-6B23358AEF50}');
INSERT INTO "BaseType" ("BaseType","abbr","ord") VALUES
	(0,'BS_UNKNOWN',1),
	(1,'BS_HARD',7),
	(2,'BS_RTCM_PHIS',6),
	(3,'BS_RTCM_VIRT',5),
	(4,'BS_VIRTUAL',5),
	(5,'BS_ROVER',0),
	(6,'BS_VROVER',0);
INSERT INTO "ProjectData" ("ID","OrigID","Path","FileName","Created","Modified","BegTime","EndTime","CreatedBy","ModifiedBy","Size","Lat1","Lat2","Lon1","Lon2","Alt1","Alt2","Kinematic","CS","TRID") VALUES
	(1,1,'ProjectTemplates','templ.hbx',1733844868,1733844868,0,0,'template','template',0,0.0,0.0,0.0,0.0,0.0,0.0,0,1,12);
INSERT INTO "GNSS" ("GNSSid","system","abbr") VALUES
	(1,'GPS','SC_GPS'),
	(2,'GLONASS','SC_GLONASS'),
	(3,'SBAS','SC_WAAS'),
	(4,'GALILEO','SC_GALILEO'),
	(5,'QZSS','SC_QZSS'),
	(6,'BEJDOU','SC_BDS'),
	(7,'IRNSS','SC_IRNSS');
INSERT INTO "Version" ("num","ver","lcommit") VALUES
	(88,'Haldor 1.84.8','7c41e2d');

-- Indexes
DROP INDEX IF EXISTS "observer_idx1";
CREATE UNIQUE INDEX IF NOT EXISTS "observer_idx1" ON "Observer" ("ObserverName" ASC,"ObserverAgency" ASC);
DROP INDEX IF EXISTS "epochs_idx1";
CREATE UNIQUE INDEX IF NOT EXISTS "epochs_idx1" ON "Epochs" ("DataSetID" ASC,"GPSTime" ASC);
DROP INDEX IF EXISTS "Objects_abbr";
CREATE UNIQUE INDEX IF NOT EXISTS "Objects_abbr" ON "Objects" ("abbr" ASC);
DROP INDEX IF EXISTS "recorset_idx1";
CREATE INDEX IF NOT EXISTS "recorset_idx1" ON "Recordsets" ("RecordsetType" ASC,"DataSetID" ASC,"BegTime" ASC);
DROP INDEX IF EXISTS "files_idx1";
CREATE INDEX IF NOT EXISTS "files_idx1" ON "Files" ("CRC" ASC);
DROP INDEX IF EXISTS "Solutions_parent";
CREATE INDEX IF NOT EXISTS "Solutions_parent" ON "Solutions" ("ParentID" ASC);
DROP INDEX IF EXISTS "objinfo_type";
CREATE INDEX IF NOT EXISTS "objinfo_type" ON "ObjInfo" ("ObjType" ASC);
DROP INDEX IF EXISTS "objinfo_name";
CREATE INDEX IF NOT EXISTS "objinfo_name" ON "ObjInfo" ("Name" ASC);
DROP INDEX IF EXISTS "objinfo_LinkObj1";
CREATE INDEX IF NOT EXISTS "objinfo_LinkObj1" ON "ObjInfo" ("LinkObj1" ASC);
DROP INDEX IF EXISTS "objinfo_LinkObj2";
CREATE INDEX IF NOT EXISTS "objinfo_LinkObj2" ON "ObjInfo" ("LinkObj2" ASC);
DROP INDEX IF EXISTS "Events_parent";
CREATE INDEX IF NOT EXISTS "Events_parent" ON "Events" ("ParentID" ASC,"GPSTime" ASC,"ev" ASC);
DROP INDEX IF EXISTS "Dataset_idx";
CREATE INDEX IF NOT EXISTS "Dataset_idx" ON "DataSets" ("FRcvrId" ASC,"AntennaNumber" ASC);
DROP INDEX IF EXISTS "crd_type";
CREATE INDEX IF NOT EXISTS "crd_type" ON "Coordinates" ("ObjType" ASC);
DROP INDEX IF EXISTS "crd_lat";
CREATE INDEX IF NOT EXISTS "crd_lat" ON "Coordinates" ("LAT" ASC);
DROP INDEX IF EXISTS "crd_lon";
CREATE INDEX IF NOT EXISTS "crd_lon" ON "Coordinates" ("LON" ASC);
DROP INDEX IF EXISTS "crd_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "crd_idx" ON "Coordinates" ("ObjID" ASC,"SubObjID" ASC);
DROP INDEX IF EXISTS "GNSS_id";
CREATE INDEX IF NOT EXISTS "GNSS_id" ON "GNSS" ("GNSSid" ASC);
DROP INDEX IF EXISTS "ssr_hdr_orbits_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "ssr_hdr_orbits_idx" ON "ssr_hdr_orbits" ("hid" ASC,"BegTime" ASC);
DROP INDEX IF EXISTS "ssr_hdr_clocks_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "ssr_hdr_clocks_idx" ON "ssr_hdr_clocks" ("hid" ASC,"BegTime" ASC);
DROP INDEX IF EXISTS "ssr_hdr_code_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "ssr_hdr_code_idx" ON "ssr_hdr_code" ("hid" ASC,"BegTime" ASC);
DROP INDEX IF EXISTS "ssr_hdr_phase_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "ssr_hdr_phase_idx" ON "ssr_hdr_phase" ("hid" ASC,"BegTime" ASC);
DROP INDEX IF EXISTS "ssr_phase_sat_idx";
CREATE UNIQUE INDEX IF NOT EXISTS "ssr_phase_sat_idx" ON "ssr_phase_sat" ("id" ASC,"svprn" ASC);
DROP INDEX IF EXISTS "residuals_idx";
CREATE INDEX IF NOT EXISTS "residuals_idx" ON "Residuals" ("SolutionID" ASC,"typ" ASC,"freq" ASC,"GPSTime" ASC,"sv" ASC);

-- Triggers
DROP TRIGGER IF EXISTS "Observer_beforedelete";
CREATE TRIGGER "Observer_beforedelete" BEFORE DELETE ON "Observer" FOR EACH ROW
BEGIN
	DELETE FROM "FileReceiver" WHERE "ObserverID" = OLD."ObserverID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."ObserverID";
END;
DROP TRIGGER IF EXISTS "DataSets_afterdelete";
CREATE TRIGGER "DataSets_afterdelete" AFTER DELETE ON "DataSets" FOR EACH ROW
BEGIN
	DELETE FROM "FileReceiver" WHERE ("FRcvrID" = OLD."FRcvrId")
		AND NOT EXISTS (SELECT 1 FROM "DataSets" WHERE "FRcvrId" = OLD."FRcvrId");
END;
DROP TRIGGER IF EXISTS "DataSets_delete";
CREATE TRIGGER "DataSets_delete" BEFORE DELETE ON "DataSets" FOR EACH ROW
BEGIN
	DELETE FROM "Epochs" WHERE "DataSetID" = OLD."DataSetID";
	DELETE FROM "SatArray" WHERE "DataSetID" = OLD."DataSetID";
	DELETE FROM "Recordsets" WHERE "DataSetID" = OLD."DataSetID";
	DELETE FROM "Solutions" WHERE "ParentID" = OLD."DataSetID";
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."DataSetID";
	DELETE FROM "DSrnxobs" WHERE "DatasetID" = OLD."DataSetID";
	DELETE FROM "GLOSlots" WHERE "DatasetID" = OLD."DataSetID";
	DELETE FROM "ObsInfo" WHERE "DatasetID" = OLD."DataSetID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."DataSetID";
END;
DROP TRIGGER IF EXISTS "Epochs_delete";
CREATE TRIGGER "Epochs_delete" BEFORE DELETE ON "Epochs" FOR EACH ROW
BEGIN
	DELETE FROM "SatObs" WHERE "EpochID" = OLD."EpochID";
	DELETE FROM "RotationMatrix" WHERE "EpochID" = OLD."EpochID";
END;
DROP TRIGGER IF EXISTS "sp3_clk_header_beforedelete";
CREATE TRIGGER "sp3_clk_header_beforedelete" BEFORE DELETE ON "sp3_clk_header" FOR EACH ROW
BEGIN
	DELETE FROM "sp3_clk" WHERE "FileID" = OLD."FileID";
	DELETE FROM "Files" WHERE "FileId" = OLD."FileID";
END;
DROP TRIGGER IF EXISTS "Files_beforedelete";
CREATE TRIGGER "Files_beforedelete" BEFORE DELETE ON "Files" FOR EACH ROW
BEGIN
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."FileId";
END;
DROP TRIGGER IF EXISTS "FilesPN_beforedelete";
CREATE TRIGGER "FilesPN_beforedelete" BEFORE DELETE ON "Files" FOR EACH ROW
WHEN OLD."Typ" IN (10,11,17)
BEGIN
	DELETE FROM "sp3_header" WHERE "FileID" = OLD."FileId";
END;
DROP TRIGGER IF EXISTS "FilesObs_beforedelete";
CREATE TRIGGER "FilesObs_beforedelete" BEFORE DELETE ON "Files" FOR EACH ROW
WHEN OLD."Typ" IN (1,2,5,6)
BEGIN
	DELETE FROM "FileReceiver" WHERE "FileID" = OLD."FileId";
END;
DROP TRIGGER IF EXISTS "FilesCLK_beforedelete";
CREATE TRIGGER "FilesCLK_beforedelete" BEFORE DELETE ON "Files" FOR EACH ROW
WHEN OLD."Typ" IN (14)
BEGIN
	DELETE FROM "sp3_clk_header" WHERE "FileID" = OLD."FileId";
END;
DROP TRIGGER IF EXISTS "Receiver_beforedelete";
CREATE TRIGGER "Receiver_beforedelete" BEFORE DELETE ON "Receiver" FOR EACH ROW
BEGIN
	DELETE FROM "FileReceiver" WHERE "ReceiverID" = OLD."ReceiverID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."ReceiverID";
END;
DROP TRIGGER IF EXISTS "Sites_delete";
CREATE TRIGGER "Sites_delete" BEFORE DELETE ON "Sites" FOR EACH ROW
BEGIN
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."SiteID";
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."SiteID";
END;
DROP TRIGGER IF EXISTS "Vectors_delete";
CREATE TRIGGER "Vectors_delete" BEFORE DELETE ON "Vectors" FOR EACH ROW
BEGIN
	DELETE FROM "Solutions" WHERE "ParentID" = OLD."VectorID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."VectorID";
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."VectorID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_files";
CREATE TRIGGER "ObjInfo_beforedelete_files" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 2
BEGIN
	DELETE FROM "Files" WHERE "FileId" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_filereceiver";
CREATE TRIGGER "ObjInfo_beforedelete_filereceiver" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 4
BEGIN
	DELETE FROM "FileReceiver" WHERE "FRcvrID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_dataset";
CREATE TRIGGER "ObjInfo_beforedelete_dataset" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 5
BEGIN
	DELETE FROM "Datasets" WHERE "DataSetID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Vector";
CREATE TRIGGER "ObjInfo_beforedelete_Vector" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 11
BEGIN
	DELETE FROM "Vectors" WHERE "VectorID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Receiver";
CREATE TRIGGER "ObjInfo_beforedelete_Receiver" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 3
BEGIN
	DELETE FROM "Receiver" WHERE "ReceiverID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Observer";
CREATE TRIGGER "ObjInfo_beforedelete_Observer" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 14
BEGIN
	DELETE FROM "Observer" WHERE "ObserverID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete";
CREATE TRIGGER "ObjInfo_beforedelete" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
BEGIN
	DELETE FROM "Settings" WHERE "ObjID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Recordsets";
CREATE TRIGGER "ObjInfo_beforedelete_Recordsets" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
BEGIN
	DELETE FROM "Recordsets" WHERE "RecordsetID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_EventSolution";
CREATE TRIGGER "ObjInfo_beforedelete_EventSolution" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 31
BEGIN
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "Solutions_delete";
CREATE TRIGGER "Solutions_delete" BEFORE DELETE ON "Solutions" FOR EACH ROW
BEGIN
	DELETE FROM "SolutionsStatic" WHERE "SolutionID" = OLD."SolutionID";
	DELETE FROM "RTK_Results" WHERE "SolutionID" = OLD."SolutionID";
	DELETE FROM "Residuals" WHERE "SolutionID" = OLD."SolutionID";
	DELETE FROM "ambiguity" WHERE "SolutionID" = OLD."SolutionID";
	DELETE FROM "EdgeSolutions" WHERE "SolutionID" = OLD."SolutionID";
	DELETE FROM "AdjustKinematic" WHERE "ObjID" = OLD."SolutionID";
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."SolutionID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."SolutionID";
END;
DROP TRIGGER IF EXISTS "Events_beforedelete";
CREATE TRIGGER "Events_beforedelete" BEFORE DELETE ON "Events" FOR EACH ROW
WHEN OLD."ev" IN (1,2,3)
BEGIN
	DELETE FROM "ObjInfo" WHERE ("ObjType" = 31) AND ("Mode" = OLD."ev")
		AND "LinkObj1" IN (SELECT "DataSetID" FROM "DataSets" WHERE "FRcvrId" = OLD."ParentID");
	DELETE FROM "CamParent" WHERE ("ParentID" = OLD."ParentID") AND ("EventType" = OLD."ev");
	DELETE FROM "EvCraftHeading" WHERE "EventID" = OLD."EventID";
END;
DROP TRIGGER IF EXISTS "Recordsets_afterdelete";
CREATE TRIGGER "Recordsets_afterdelete" AFTER DELETE ON "Recordsets" FOR EACH ROW
BEGIN
	DELETE FROM "Sites" WHERE ("SiteID" = OLD."SiteID")
		AND NOT EXISTS (SELECT 1 FROM "Recordsets" WHERE "SiteID" = OLD."SiteID");
END;
DROP TRIGGER IF EXISTS "Recordsets_delete";
CREATE TRIGGER "Recordsets_delete" BEFORE DELETE ON "Recordsets" FOR EACH ROW
BEGIN
	DELETE FROM "Vectors" WHERE ("RecordsetID1" = OLD."RecordsetID") OR ("RecordsetID2" = OLD."RecordsetID");
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."RecordsetID";
	DELETE FROM "Solutions" WHERE "ParentID" = OLD."RecordsetID";
	DELETE FROM "SatsDisabled" WHERE "ID" = OLD."RecordsetID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."RecordsetID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_ReferencePoint";
CREATE TRIGGER "ObjInfo_beforedelete_ReferencePoint" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 24
BEGIN
	UPDATE "ObjInfo" SET "LinkObj1" = 0, "LinkTyp1" = 0, "Mode" = 0
		WHERE ("ObjType" = 23) AND ("LinkObj1" = OLD."ObjID");
	UPDATE "Sites" SET "SnapID" = 0, "SnapedObjType" = 0 WHERE "SnapID" = OLD."ObjID";
	DELETE FROM "ReferencePoints" WHERE "PointID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Solution";
CREATE TRIGGER "ObjInfo_beforedelete_Solution" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" IN (18,19,20,33)
BEGIN
	DELETE FROM "Solutions" WHERE "SolutionID" = OLD."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_SolutionEvents";
CREATE TRIGGER "ObjInfo_beforedelete_SolutionEvents" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" IN (19,20,32,33)
BEGIN
	DELETE FROM "ObjInfo" WHERE ("ObjType" = 31) AND ("LinkObj2" = OLD."ObjID");
END;
DROP TRIGGER IF EXISTS "Coordinates_delete";
CREATE TRIGGER "Coordinates_delete" BEFORE DELETE ON "Coordinates" FOR EACH ROW
BEGIN
	DELETE FROM "CoordinatesExt" WHERE "CrdID" = OLD."CrdID";
	DELETE FROM "Velocity" WHERE "CrdID" = OLD."CrdID";
END;
DROP TRIGGER IF EXISTS "FileReceiver_afterdelete";
CREATE TRIGGER "FileReceiver_afterdelete" AFTER DELETE ON "FileReceiver" FOR EACH ROW
BEGIN
	DELETE FROM "Files" WHERE ("FileId" = OLD."FileID")
		AND NOT EXISTS (SELECT 1 FROM "FileReceiver" WHERE "FileID" = OLD."FileID");
	DELETE FROM "Receiver" WHERE ("ReceiverID" = OLD."ReceiverID")
		AND NOT EXISTS (SELECT 1 FROM "FileReceiver" WHERE "ReceiverID" = OLD."ReceiverID");
END;
DROP TRIGGER IF EXISTS "FileReceiver_beforedelete";
CREATE TRIGGER "FileReceiver_beforedelete" BEFORE DELETE ON "FileReceiver" FOR EACH ROW
BEGIN
	DELETE FROM "Datasets" WHERE "FRcvrId" = OLD."FRcvrID";
	DELETE FROM "Events" WHERE "ParentID" = OLD."FRcvrID";
	DELETE FROM "Coordinates" WHERE "ObjID" = OLD."FRcvrID";
	DELETE FROM "ObjInfo" WHERE "ObjID" = OLD."FRcvrID";
END;
DROP TRIGGER IF EXISTS "sp3_header_beforedelete";
CREATE TRIGGER "sp3_header_beforedelete" BEFORE DELETE ON "sp3_header" FOR EACH ROW
BEGIN
	DELETE FROM "sp3_pos" WHERE "FileID" = OLD."FileID";
	DELETE FROM "Files" WHERE "FileId" = OLD."FileID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_afterupdate_ReferencePoint";
CREATE TRIGGER "ObjInfo_afterupdate_ReferencePoint" AFTER UPDATE OF "Name" ON "ObjInfo" FOR EACH ROW
WHEN NEW."ObjType" = 24
BEGIN
	UPDATE "ReferencePoints" SET "Name" = NEW."Name" WHERE "PointID" = NEW."ObjID";
END;
DROP TRIGGER IF EXISTS "ObjInfo_beforedelete_Site";
CREATE TRIGGER "ObjInfo_beforedelete_Site" BEFORE DELETE ON "ObjInfo" FOR EACH ROW
WHEN OLD."ObjType" = 23
BEGIN
	DELETE FROM "Sites" WHERE "SiteID" = OLD."ObjID";
END;

-- Views
DROP VIEW IF EXISTS "EpochObs";
CREATE VIEW "EpochObs" AS SELECT e.EpochID,e.DataSetID,e.GPSTime,e.Interval,e.NumSat,e.EpochFlag,e.Enabled,e.CrdType,
	s.svprn,s.SatCode,s.Elevation,s.Azimuth,s.ObsTypes,s.Data
	FROM Epochs AS e INNER JOIN SatObs AS s ON s.EpochID = e.EpochID;
DROP VIEW IF EXISTS "ObjInfoAll";
CREATE VIEW "ObjInfoAll" AS SELECT o.ObjID,o.ObjType,o.Name,o.BegTime,o.EndTime,o.Size,o.LinkObj1,o.LinkTyp1,o.LinkObj2,o.LinkTyp2,
	o.Mode,o.StyleID,o.ObjLabel,o.Visible,o.Enabled,t.abbr,t.ObjClassName,o.BegTime / 864000000 AS DayNum
	FROM ObjInfo AS o LEFT JOIN Objects AS t ON t.ObjType = o.ObjType;
DROP VIEW IF EXISTS "ObjInfoView";
CREATE VIEW "ObjInfoView" AS SELECT o.ObjID,o.ObjType,o.Name,o.BegTime,o.EndTime,o.Size,o.LinkObj1,o.LinkTyp1,o.LinkObj2,o.LinkTyp2,
	o.Mode,o.StyleID,o.ObjLabel,o.Enabled,t.abbr,t.ObjClassName,o.BegTime / 864000000 AS DayNum
	FROM ObjInfo AS o INNER JOIN Objects AS t ON t.ObjType = o.ObjType
	WHERE o.Visible <> 0;
DROP VIEW IF EXISTS "ObjInfoAbbr";
CREATE VIEW "ObjInfoAbbr" AS SELECT o.ObjID,o.ObjType,t.abbr,o.Name,o.LinkObj1,o.LinkTyp1,o.LinkObj2,o.LinkTyp2
	FROM ObjInfo AS o INNER JOIN Objects AS t ON t.ObjType = o.ObjType;
DROP VIEW IF EXISTS "ObjInfoViewVectors";
CREATE VIEW "ObjInfoViewVectors" AS SELECT o.ObjID,o.ObjType,o.Name,o.BegTime,o.EndTime,o.Visible,o.Enabled,
	v.RecordsetID1,v.RecordsetID2,v.Inverse,v.MotionMode,v.Stop,VectType(v.MotionMode,v.Stop) AS VectorType
	FROM ObjInfo AS o INNER JOIN Vectors AS v ON v.VectorID = o.ObjID
	WHERE o.ObjType IN (11,12,13);
DROP VIEW IF EXISTS "StaticSolutionView";
CREATE VIEW "StaticSolutionView" AS SELECT sl.SolutionID,sl.ParentID,sl.SolutionType,sl.Engine,sl.GPSTimeBeg,sl.GPSTimeEnd,sl.ProcTime,
	o.Name,o.Enabled,s.Ratio,s.Rms,s.NumAmbig,s.NumFixed,s.SatUsed,s.DX,s.DY,s.DZ,s.SX,s.SY,s.SZ,s.CXY,s.CXZ,s.CYZ
	FROM Solutions AS sl INNER JOIN SolutionsStatic AS s ON s.SolutionID = sl.SolutionID
	INNER JOIN ObjInfo AS o ON o.ObjID = sl.SolutionID
	WHERE o.ObjType IN (18,33);
DROP VIEW IF EXISTS "KinematicSolutionView";
CREATE VIEW "KinematicSolutionView" AS SELECT sl.SolutionID,sl.ParentID,sl.SolutionType,sl.Engine,sl.EpochCount,sl.GPSTimeBeg,sl.GPSTimeEnd,sl.ProcTime,
	o.Name,o.Enabled,
	(SELECT COUNT(*) FROM RTK_Results AS r WHERE r.SolutionID = sl.SolutionID) AS NumResults,
	(SELECT COUNT(*) FROM RTK_Results AS r WHERE (r.SolutionID = sl.SolutionID) AND (r.fix <> 0)) AS NumFixed
	FROM Solutions AS sl INNER JOIN ObjInfo AS o ON o.ObjID = sl.SolutionID
	WHERE o.ObjType IN (19,32);
DROP VIEW IF EXISTS "AllSolutionView";
CREATE VIEW "AllSolutionView" AS SELECT sl.SolutionID,sl.ParentID,sl.SettingsID,sl.SolutionType,sl.Engine,sl.EpochCount,
	sl.GPSTimeBeg,sl.GPSTimeEnd,sl.ProcTime,o.ObjType,o.Name,o.Visible,o.Enabled
	FROM Solutions AS sl INNER JOIN ObjInfo AS o ON o.ObjID = sl.SolutionID;
DROP VIEW IF EXISTS "VectorViewAll";
CREATE VIEW "VectorViewAll" AS SELECT v.VectorID,v.RecordsetID1,v.RecordsetID2,v.Inverse,v.BegTime,v.EndTime,v.Duration,v.Interval,
	v.MotionMode,v.Stop,v.Visible,v.Enable,o.ObjType,o.Name,o.Enabled AS ObjEnabled
	FROM Vectors AS v LEFT JOIN ObjInfo AS o ON o.ObjID = v.VectorID;
DROP VIEW IF EXISTS "VectorsView";
CREATE VIEW "VectorsView" AS SELECT * FROM Vectors WHERE Inverse = 0
	UNION
	SELECT VectorID,RecordsetID2,RecordsetID1,Inverse,BegTime,EndTime,Duration,Interval,MotionMode,Stop,Visible,Enable FROM Vectors WHERE Inverse = 1;
DROP VIEW IF EXISTS "VectSites";
CREATE VIEW "VectSites" AS SELECT VectorID,r1.SiteID as SiteID1,r2.SiteID as SiteID2,
	RecordsetID1,RecordsetID2,Inverse,v.MotionMode as MotionMode
	FROM VectorsView as v
	INNER JOIN Recordsets as r1 ON r1.RecordsetID = v.RecordsetID1
	INNER JOIN Recordsets as r2 ON r2.RecordsetID = v.RecordsetID2;
DROP VIEW IF EXISTS "VectorSites";
CREATE VIEW "VectorSites" AS SELECT v.VectorID,v.SiteID1,s1.Name AS SiteName1,v.SiteID2,s2.Name AS SiteName2,
	v.RecordsetID1,v.RecordsetID2,v.Inverse,v.MotionMode
	FROM VectSites AS v
	LEFT JOIN ObjInfo AS s1 ON s1.ObjID = v.SiteID1
	LEFT JOIN ObjInfo AS s2 ON s2.ObjID = v.SiteID2;
DROP VIEW IF EXISTS "SolSites";
CREATE VIEW "SolSites" AS SELECT s.SolutionID,VectorID,SiteID1,SiteID2,GrndX,GrndY,GrndZ
	FROM SolutionsStatic as s
	INNER JOIN Solutions AS sl ON s.SolutionID = sl.SolutionID
	INNER JOIN VectSites AS v ON sl.ParentID = v.VectorID;
DROP VIEW IF EXISTS "SolCrd";
CREATE VIEW "SolCrd" AS SELECT SolutionID,s.SiteID1 As BaseID,s.SiteID2 As RoverID,
	sc.X + GrnDX AS X,sc.Y + GrnDY AS Y,sc.Z + GrnDZ AS Z
	FROM SolSites AS s
	INNER JOIN Coordinates AS sc ON sc.ObjID = s.SiteID1;
DROP VIEW IF EXISTS "SolGrnd";
CREATE VIEW "SolGrnd" AS SELECT s.SolutionID,sl.ParentID AS VectorID,s.GrndX,s.GrndY,s.GrndZ,s.Ratio,s.Rms,o.Enabled
	FROM SolutionsStatic AS s
	INNER JOIN Solutions AS sl ON sl.SolutionID = s.SolutionID
	LEFT JOIN ObjInfo AS o ON o.ObjID = s.SolutionID;
DROP VIEW IF EXISTS "SolutionSites";
CREATE VIEW "SolutionSites" AS SELECT sl.SolutionID,sl.SolutionType,sl.Engine,v.VectorID,v.SiteID1,v.SiteID2,v.MotionMode
	FROM Solutions AS sl
	INNER JOIN VectSites AS v ON v.VectorID = sl.ParentID;
DROP VIEW IF EXISTS "SiteOnSol";
CREATE VIEW "SiteOnSol" AS SELECT st.SiteID,st.SnapID AS SolutionID,st.SnapedObjType,o.Name
	FROM Sites AS st
	INNER JOIN ObjInfo AS o ON o.ObjID = st.SiteID
	WHERE st.SnapedObjType = 1;
DROP VIEW IF EXISTS "ObjCrd";
CREATE VIEW "ObjCrd" AS SELECT o.ObjID,o.ObjType,o.Name,c.CrdID,c.PointType,c.X,c.Y,c.Z,c.LAT,c.LON,c.ALT
	FROM ObjInfo AS o
	INNER JOIN Coordinates AS c ON (c.ObjID = o.ObjID) AND (c.SubObjID = 0);
DROP VIEW IF EXISTS "EdgeView";
CREATE VIEW "EdgeView" AS SELECT e.EdgeID,e.EdgeName,e.EdgeType,e.SubNetID,e.BegSiteID,b.Name AS BegSiteName,e.EndSiteID,n.Name AS EndSiteName,
	e.dX,e.dY,e.dZ,e.CXX,e.CYY,e.CZZ,e.CXY,e.CXZ,e.CYZ
	FROM Edges AS e
	LEFT JOIN ObjInfo AS b ON b.ObjID = e.BegSiteID
	LEFT JOIN ObjInfo AS n ON n.ObjID = e.EndSiteID;
DROP VIEW IF EXISTS "NodeView";
CREATE VIEW "NodeView" AS SELECT n.NodeID,n.SiteID,o.Name AS SiteName,n.NodeType,n.SubNetID,n.X,n.Y,n.Z,
	n.CXX,n.CYY,n.CZZ,n.CXY,n.CXZ,n.CYZ,n.EllA,n.EllB,n.EllAngle,n.EllHeight
	FROM Nodes AS n
	LEFT JOIN ObjInfo AS o ON o.ObjID = n.SiteID;
DROP VIEW IF EXISTS "EvCamera";
CREATE VIEW "EvCamera" AS SELECT e.EventID,e.ParentID,e.GPSTime,e.sod,e.ev,e.evstr,e.Param,e.Name,
	cp.CamID,c.Name AS CameraName,c.DelayInterval,c.FocalDistance,h.Roll,h.Pitch,h.Yaw
	FROM Events AS e
	INNER JOIN CamParent AS cp ON (cp.ParentID = e.ParentID) AND (cp.EventType = e.ev)
	LEFT JOIN Cameras AS c ON c.CamID = cp.CamID
	LEFT JOIN EvCraftHeading AS h ON h.EventID = e.EventID;
DROP VIEW IF EXISTS "CoordsViewStd";
CREATE VIEW "CoordsViewStd" AS SELECT c.CrdID,c.ObjType,c.ObjID,c.SubObjID,c.PointType,c.X,c.Y,c.Z,c.LAT,c.LON,c.ALT,
	SQRT(c.SX) AS StdX,SQRT(c.SY) AS StdY,SQRT(c.SZ) AS StdZ
	FROM Coordinates AS c;
DROP VIEW IF EXISTS "CoordinatesView";
CREATE VIEW "CoordinatesView" AS SELECT c.CrdID,c.ObjType,c.ObjID,c.SubObjID,c.PointType,o.Name,c.X,c.Y,c.Z,c.LAT,c.LON,c.ALT,
	c.SX,c.SY,c.SZ,c.CXY,c.CXZ,c.CYZ,x.clock,x.rms,x.pdop,x.gdop,x.hdop,x.tdop,x.SatsUsed
	FROM Coordinates AS c
	LEFT JOIN ObjInfo AS o ON o.ObjID = c.ObjID
	LEFT JOIN CoordinatesExt AS x ON x.CrdID = c.CrdID;
DROP VIEW IF EXISTS "RecordsetBaseType";
CREATE VIEW "RecordsetBaseType" AS SELECT r.RecordsetID,r.RecordsetType,r.DataSetID,d.FRcvrId,f.BaseType,b.abbr AS BaseTypeAbbr,b.ord
	FROM Recordsets AS r
	INNER JOIN DataSets AS d ON d.DataSetID = r.DataSetID
	INNER JOIN FileReceiver AS f ON f.FRcvrID = d.FRcvrId
	LEFT JOIN BaseType AS b ON b.BaseType = f.BaseType;
