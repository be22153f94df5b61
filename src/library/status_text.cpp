// A fixed text for every status, for callers that have only the code.
#include "norvak/norvak.h"

extern "C" const char* norvak_status_text(norvak_status status) {
    switch (status) {
        case NORVAK_OK: return "";
        case NORVAK_ERROR_MISSING_HEADER: return "it is shorter than 4 bytes";
        case NORVAK_ERROR_COPY_BEFORE_START: return "a copy reaches before the start of the content";
        case NORVAK_ERROR_TRUNCATED: return "it ends before all its content is decoded";
        case NORVAK_ERROR_LENGTH_CODE_TOO_LONG: return "a copy length runs past the longest length code";
        case NORVAK_ERROR_STORED_TRUNCATED: return "it holds fewer stored bytes than its header gives";
        case NORVAK_ERROR_BUFFER_TOO_SMALL: return "the output buffer is too small";
        case NORVAK_ERROR_OUT_OF_MEMORY: return "there is not enough memory";
        case NORVAK_ERROR_INVALID_ARGUMENT: return "a null pointer was given for a buffer that is not empty";
        case NORVAK_ERROR_CONTENT_TOO_LARGE: return "content of 2 GiB or more can not be packed";
        case NORVAK_STATUS_MAX_ENUM: break;
    }
    return "unknown status";
}
