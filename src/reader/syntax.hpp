// Constants of the checkpoint file syntax and the reserved keyword table.
#pragma once

// The reserved keywords; their order is their index.
enum ckpKeyword {
    kwCheckpoint = 0, // "WRXCHECKPOINT", the header keyword
    kwO = 1,          // "WRXo", operation of a syntax-0 record
    kwList = 2,       // "WRXlist", reserved
    kwType = 3,       // "WRXtype", reserved
    kwV = 4,          // "WRXv", version number of a syntax-0 record
    kwB = 5,          // "WRXb", binding of a syntax-0 record
    kwD = 6,          // "WRXd", reserved
    kwC = 7,          // "WRXc", path qualifier: config path
    kwSd = 8,         // "WRXsd", path qualifier: subdirectory
    kwInc = 9,        // "WRXinc", path qualifier: include record
    kwCount = 10
};

extern const char* const ckpKeywords[kwCount];

// Character classes of the syntax. Word characters follow the runtime's
// character tables (isalnum) plus '_'.
int tiIsBlank(int c);
int tiIsWordChar(int c);
int tiIsDigit(int c);
