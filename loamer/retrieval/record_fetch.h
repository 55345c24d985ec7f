// Fetching one stored record: the request by number, the reply prefix with the record's kind,
// and the body read as a second, separate read of the kind's length.
#pragma once

#include "loamer/link/error_codes.h"
#include "loamer/retrieval/record_decoder.h"

namespace loamer {

// The highest record number the meter is asked for.
inline constexpr unsigned kLastRecordNumber = 32767;

// Sends "R<number, five digits>\r\n" and reads the four-byte prefix; a time-out sends the
// request again, three tries in all. kind is the prefix's second byte on success.
[[nodiscard]] ErrorCode RequestRecord(unsigned number, char& kind);

// Reads the body of a header kind, or of the reading kind the layout expects (any other
// reading kind is refused before its body is read).
[[nodiscard]] ErrorCode ReadRecordBody(char kind, const DataSetLayout& layout, RecordBody& body);

}  // namespace loamer
