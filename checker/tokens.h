// Token codes shared by the scanner and the parser.  Single characters are
// tokens under their own codes; 256 and 257 belong to the parser (its error
// token and its code for an undefined token).
#pragma once

enum trl_token : int {
    TRL_ERROR_TOKEN = 256,
    TRL_UNDEFINED_TOKEN = 257,
    KOM = 258,
    FS = 259,
    SPP = 260,
    SPA = 261,
    ZCMT = 262,
    LCMT = 263,
    N = 264,
    WS = 265,
    MC = 266,
    UML_MC = 267,
    L = 268,
    UML_L = 269,
    HSALL = 270,
    MGER = 271,
    TGER = 272,
    NEWLINE = 273,
    AKA = 274,
    MRKA = 275,
    TAB = 276,
    TABT = 277,
    ATM = 278,
    UVS = 279,
    KLE = 280,
    KLA = 281,
    WHA = 282,
    WHE = 283,
    NSA = 284,
    NSE = 285,
    PAU = 286,
    PP = 287,
    ZOG = 288,
    TAA = 289,
    TAE = 290,
    END = 291,
};

inline constexpr int TRL_MAX_TOKEN = END;
