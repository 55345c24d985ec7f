/* Loamer's inter-program messages, for programs that want the TQ4 meter's calibration install
 * or X exchange done by a running Loamer (or `loamer-cli serve`). Plain C (C11) and C++.
 *
 * WHERE TO CONNECT
 *   A program that answers messages listens on a Unix stream socket named after its title in
 *   lower case: $XDG_RUNTIME_DIR/loamer/<title>.sock, or /tmp/loamer-<uid>/<title>.sock when
 *   XDG_RUNTIME_DIR is unset, empty or not an absolute path (<uid> in decimal). The desktop
 *   program's title is "Loamer", so "loamer.sock". The folder is private to its user, and both
 *   ends check that the other runs as the same user (SO_PEERCRED): a peer of another user is
 *   disconnected without a word. A title that contains '/' names no socket. Only one program
 *   answers per title (the file <title>.sock.lock is held by the one that does).
 *
 * FRAMES (all integers little-endian, doubles IEEE 754 binary64 little-endian)
 *   message: "LMCD", u32 kind = 1, u32 type, u32 size, u32 flags, then size bytes of block
 *   result:  "LMCD", u32 kind = 2, i32 value
 *   flags bit 0 (LOAMER_CD_FLAG_TAKES_ANSWERS): the sender takes answer messages on this
 *   connection; the other bits are reserved, send them as 0.
 *
 *   Every message sent on a connection is answered by exactly one result on that connection.
 *   Either side may send messages. While a side waits for the result of its message it must
 *   handle the messages that arrive on the same connection, each with its own result: the
 *   answer to a request (type 1 or 4) arrives that way, before the request's own result. A
 *   frame that does not start with the magic, or a kind other than 1 and 2, ends the
 *   connection.
 *
 * MESSAGE TYPES
 *   1 CAL_RESULT   answer to type 2; block: u32 result code (4 bytes read)
 *   2 CAL_INSTALL  request; block: struct loamer_cd_cal_block (152 bytes read)
 *   3 X_REQUEST    request; block: struct loamer_cd_x_request (160 bytes; the first 156 read)
 *   4 X_RESULT     answer to type 3; block: struct loamer_cd_x_result (40 bytes read)
 *   Any other type is answered with the result 1 and does nothing.
 *
 * RESULTS
 *   A block shorter than its type reads, or longer than LOAMER_CD_MAX_BLOCK (64 KiB), is read
 *   and dropped: the result is 0, the meter is not contacted and no answer is sent.
 *   Types 1 and 4: the block is kept as the last answer; the result is 1.
 *   Types 2 and 3: the meter is woken and the request carried out (after any meter command that
 *   runs at the time); then, when the message's flags have bit 0 set, the answer (type 1 or 4)
 *   is sent back on the connection and the request's result is the result that the requester
 *   gave to that answer (a requester that kept it gives 1). Without bit 0 the request is still
 *   carried out but nothing is answered, and the result is 0.
 *   Result codes in answers: 0 success, otherwise the program's error codes (meter link and
 *   protocol failures: 1 to 10, 26 timeout, 27 aborted). Code 7 also refuses, before the meter
 *   is contacted, a type 3 request whose parameter is an infinity, a NaN, or a number whose
 *   "%012.6f" text is longer than 12 characters (one that rounds, at six decimals, to 100000 or
 *   more, or to -10000 or less), and a type 2 request with a value that is an infinity, a NaN,
 *   or a number whose decimal exponent, rounded to 8 significant digits, is below -99 or above
 *   99. The four results of an X answer mean something only when its code is 0.
 *
 * THE X EXCHANGE
 *   The meter receives 'X', the 133 bytes of text unchanged, a zero byte, parameter 1 as
 *   "%012.6f" (00006.000000), the code byte, parameter 2 the same way, CR LF; it answers 'x'
 *   and four 8-character numbers, CR LF. The code byte is the low byte of the code field.
 *
 * examples/copydata_client.c is a small client.
 */
#ifndef LOAMER_COPY_DATA_PROTOCOL_H
#define LOAMER_COPY_DATA_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#define LOAMER_CD_MAGIC "LMCD"
#define LOAMER_CD_MAGIC_SIZE 4u
#define LOAMER_CD_KIND_MESSAGE 1u
#define LOAMER_CD_KIND_RESULT 2u
#define LOAMER_CD_MESSAGE_HEADER_SIZE 20u
#define LOAMER_CD_RESULT_FRAME_SIZE 12u
#define LOAMER_CD_FLAG_TAKES_ANSWERS 1u
#define LOAMER_CD_MAX_BLOCK 65536u

#define LOAMER_CD_CAL_RESULT 1u
#define LOAMER_CD_CAL_INSTALL 2u
#define LOAMER_CD_X_REQUEST 3u
#define LOAMER_CD_X_RESULT 4u

/* The bytes each type reads; a shorter block is refused. */
#define LOAMER_CD_CAL_RESULT_READS 4u
#define LOAMER_CD_CAL_INSTALL_READS 152u
#define LOAMER_CD_X_REQUEST_READS 156u
#define LOAMER_CD_X_RESULT_READS 40u

#define LOAMER_CD_PROBE_ORBIS 0u /* any other kind is the FLX sensor */
#define LOAMER_CD_X_TEXT_SIZE 133u

/* Type 2: a calibration for the probe. */
typedef struct loamer_cd_cal_block {
    uint8_t probe_kind;  /* 0 Orbis probe, any other value FLX sensor */
    char name[12];       /* no terminator; fill a shorter name with blanks */
    uint8_t padding[3];
    double values[17];   /* the calibration numbers in file order */
} loamer_cd_cal_block;

/* Type 3: an X exchange with the meter. */
typedef struct loamer_cd_x_request {
    char text[LOAMER_CD_X_TEXT_SIZE]; /* passed to the meter unchanged */
    uint8_t padding[3];
    double param1;
    double param2;
    uint32_t code;                     /* its low byte is the code byte */
    uint32_t unused;
} loamer_cd_x_request;

/* Type 4: the answer to type 3. */
typedef struct loamer_cd_x_result {
    uint32_t result;   /* 0 or an error code */
    uint32_t reserved; /* 0 */
    double results[4]; /* meaningful when result is 0 */
} loamer_cd_x_result;

#ifdef __cplusplus
#define LOAMER_CD_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define LOAMER_CD_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif

LOAMER_CD_STATIC_ASSERT(sizeof(double) == 8, "doubles are binary64");
LOAMER_CD_STATIC_ASSERT(offsetof(loamer_cd_cal_block, name) == 1 && offsetof(loamer_cd_cal_block, values) == 16 &&
                            sizeof(loamer_cd_cal_block) == LOAMER_CD_CAL_INSTALL_READS,
                        "calibration block layout");
LOAMER_CD_STATIC_ASSERT(offsetof(loamer_cd_x_request, param1) == 136 && offsetof(loamer_cd_x_request, param2) == 144 &&
                            offsetof(loamer_cd_x_request, code) == 152 && sizeof(loamer_cd_x_request) == 160,
                        "X request block layout");
LOAMER_CD_STATIC_ASSERT(offsetof(loamer_cd_x_result, results) == 8 &&
                            sizeof(loamer_cd_x_result) == LOAMER_CD_X_RESULT_READS,
                        "X result block layout");

#endif /* LOAMER_COPY_DATA_PROTOCOL_H */
