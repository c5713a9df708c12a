#pragma once
// The events that downloaders and runners report to the pipeline, and the pipeline to the
// window: a code, a value and a text that is valid only during the call.

#include <cstdint>
#include <functional>

using EventCallback = std::function<void(int32_t code, double value, const wchar_t* text)>;

enum InstallEventCode : int32_t {
    DL_CODE_START = 1001,
    DL_CODE_PROGRESS = 1002,
    DL_CODE_SUCCESS = 1003,
    DL_CODE_FAIL = 1004,
    DL_CODE_RETRY = 1005,
    DL_CODE_ERROR = 1006,
    IST_CODE_START = 2001,
    IST_CODE_PROGRESS = 2002,
    INSTALL_SUCCESS = 2003,
    IST_CODE_FAIL = 2004,
    RPT_INST_PATH = 3000,
    RPT_EXE_PATH = 3001,
    RPT_UNINST_EXE = 3002,
    RPT_UNINST_EP = 3003,
    RPT_START_URL = 3004,
    RPT_STARTUP_STYLE = 3005,
    RPT_TOP_SHOW_DETENTION = 3007,
    RPT_FINISH_CLOSE_DETENTION = 3008,
    RPT_MESSAGE = 3009,
    UNIST_CODE_PROGRESS = 5002,
    UNIST_CODE_SUCCESS = 5003,
    UNIST_CODE_FAIL = 5004,
    UNIST_CODE_ERROR = 5005,
};

// "DL_CODE_START" for 1001 and so on; "UNKNOWN" for a code that is not in the table.
const char* InstallEventName(int32_t code);
