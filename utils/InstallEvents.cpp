#include "utils/InstallEvents.h"

const char* InstallEventName(int32_t code) {
    switch (code) {
        case DL_CODE_START:
            return "DL_CODE_START";
        case DL_CODE_PROGRESS:
            return "DL_CODE_PROGRESS";
        case DL_CODE_SUCCESS:
            return "DL_CODE_SUCCESS";
        case DL_CODE_FAIL:
            return "DL_CODE_FAIL";
        case DL_CODE_RETRY:
            return "DL_CODE_RETRY";
        case DL_CODE_ERROR:
            return "DL_CODE_ERROR";
        case IST_CODE_START:
            return "IST_CODE_START";
        case IST_CODE_PROGRESS:
            return "IST_CODE_PROGRESS";
        case INSTALL_SUCCESS:
            return "INSTALL_SUCCESS";
        case IST_CODE_FAIL:
            return "IST_CODE_FAIL";
        case RPT_INST_PATH:
            return "RPT_INST_PATH";
        case RPT_EXE_PATH:
            return "RPT_EXE_PATH";
        case RPT_UNINST_EXE:
            return "RPT_UNINST_EXE";
        case RPT_UNINST_EP:
            return "RPT_UNINST_EP";
        case RPT_START_URL:
            return "RPT_START_URL";
        case RPT_STARTUP_STYLE:
            return "RPT_STARTUP_STYLE";
        case RPT_TOP_SHOW_DETENTION:
            return "RPT_TOP_SHOW_DETENTION";
        case RPT_FINISH_CLOSE_DETENTION:
            return "RPT_FINISH_CLOSE_DETENTION";
        case RPT_MESSAGE:
            return "RPT_MESSAGE";
        case UNIST_CODE_PROGRESS:
            return "UNIST_CODE_PROGRESS";
        case UNIST_CODE_SUCCESS:
            return "UNIST_CODE_SUCCESS";
        case UNIST_CODE_FAIL:
            return "UNIST_CODE_FAIL";
        case UNIST_CODE_ERROR:
            return "UNIST_CODE_ERROR";
        default:
            return "UNKNOWN";
    }
}
