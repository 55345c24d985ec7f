/* A small client of Loamer's inter-program messages (loamer/upload/copy_data_protocol.h): sends
 * one X request to the program listening as TITLE (default "Loamer") and prints its answer.
 *
 *   copydata_client [-t TITLE] TEXT PARAM1 PARAM2 CODE
 *
 * TEXT is sent as the 133-byte text block (cut or filled up with zero bytes), PARAM1 and PARAM2
 * as the two parameters, CODE (0 to 255) as the code byte. Prints the answer's result code on
 * line 1 and, when it is 0, the four results on line 2. Exit status: the result code, 1 when
 * nothing listens or no answer came, 64 for a usage error.
 *
 * Build: cc -std=c11 -I<source tree> examples/copydata_client.c -o copydata_client
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "loamer/upload/copy_data_protocol.h"

static void put_u32(unsigned char *p, uint32_t v) {
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

static uint32_t get_u32(const unsigned char *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int write_all(int fd, const void *data, size_t size) {
    const unsigned char *p = data;
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        size -= (size_t)n;
    }
    return 0;
}

/* 0 when all came, -1 at the end of the stream or on an error. */
static int read_all(int fd, void *data, size_t size) {
    unsigned char *p = data;
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        size -= (size_t)n;
    }
    return 0;
}

/* The socket of a title: the title in lower case, in $XDG_RUNTIME_DIR/loamer or /tmp/loamer-<uid>. */
static int socket_path(const char *title, char *path, size_t size) {
    char name[96];
    size_t i;
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    int n;
    if (title[0] == '\0' || strchr(title, '/') || strlen(title) >= sizeof name) return -1;
    for (i = 0; title[i] != '\0'; ++i) name[i] = (title[i] >= 'A' && title[i] <= 'Z') ? (char)(title[i] - 'A' + 'a') : title[i];
    name[i] = '\0';
    if (runtime && runtime[0] == '/') {
        n = snprintf(path, size, "%s/loamer/%s.sock", runtime, name);
    } else {
        n = snprintf(path, size, "/tmp/loamer-%lu/%s.sock", (unsigned long)geteuid(), name);
    }
    return n > 0 && (size_t)n < size ? 0 : -1;
}

static int send_result(int fd, int32_t value) {
    unsigned char frame[LOAMER_CD_RESULT_FRAME_SIZE];
    memcpy(frame, LOAMER_CD_MAGIC, LOAMER_CD_MAGIC_SIZE);
    put_u32(frame + 4, LOAMER_CD_KIND_RESULT);
    put_u32(frame + 8, (uint32_t)value);
    return write_all(fd, frame, sizeof frame);
}

int main(int argc, char **argv) {
    static unsigned char block[LOAMER_CD_MAX_BLOCK];
    const char *title = "Loamer";
    int arg = 1;
    char path[sizeof(((struct sockaddr_un *)0)->sun_path)];
    struct sockaddr_un address;
    loamer_cd_x_request request;
    loamer_cd_x_result answer;
    int have_answer = 0;
    unsigned char header[LOAMER_CD_MESSAGE_HEADER_SIZE];
    size_t length;
    int fd;

    /* A listener that refuses the connection closes it: a failed write, not a signal. */
    signal(SIGPIPE, SIG_IGN);
    if (argc > 2 && strcmp(argv[1], "-t") == 0) {
        title = argv[2];
        arg = 3;
    }
    if (argc - arg != 4) {
        fprintf(stderr, "usage: copydata_client [-t TITLE] TEXT PARAM1 PARAM2 CODE\n");
        return 64;
    }
    memset(&request, 0, sizeof request);
    length = strlen(argv[arg]);
    memcpy(request.text, argv[arg], length < sizeof request.text ? length : sizeof request.text);
    request.param1 = strtod(argv[arg + 1], NULL);
    request.param2 = strtod(argv[arg + 2], NULL);
    request.code = (uint32_t)strtoul(argv[arg + 3], NULL, 10) & 0xFFu;

    if (socket_path(title, path, sizeof path) != 0) {
        fprintf(stderr, "'%s' names no socket\n", title);
        return 64;
    }
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path, strlen(path) + 1);
    fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (const struct sockaddr *)&address, sizeof address) != 0) {
        fprintf(stderr, "nothing listens as '%s' (%s)\n", title, path);
        return 1;
    }

    /* The request, with flag bit 0: this client takes the answer on the connection. */
    memcpy(header, LOAMER_CD_MAGIC, LOAMER_CD_MAGIC_SIZE);
    put_u32(header + 4, LOAMER_CD_KIND_MESSAGE);
    put_u32(header + 8, LOAMER_CD_X_REQUEST);
    put_u32(header + 12, (uint32_t)sizeof request);
    put_u32(header + 16, LOAMER_CD_FLAG_TAKES_ANSWERS);
    if (write_all(fd, header, sizeof header) != 0 || write_all(fd, &request, sizeof request) != 0) {
        fprintf(stderr, "cannot send to '%s'\n", title);
        close(fd);
        return 1;
    }

    /* Messages (the answer) come before the request's result; each gets a result of its own. */
    for (;;) {
        uint32_t kind, type, size;
        if (read_all(fd, header, 8) != 0 || memcmp(header, LOAMER_CD_MAGIC, LOAMER_CD_MAGIC_SIZE) != 0) break;
        kind = get_u32(header + 4);
        if (kind == LOAMER_CD_KIND_RESULT) {
            read_all(fd, header + 8, 4);
            break;
        }
        if (kind != LOAMER_CD_KIND_MESSAGE || read_all(fd, header + 8, 12) != 0) break;
        type = get_u32(header + 8);
        size = get_u32(header + 12);
        if (size > sizeof block || read_all(fd, block, size) != 0) break;
        if (type == LOAMER_CD_X_RESULT && size >= sizeof answer) {
            memcpy(&answer, block, sizeof answer);
            have_answer = 1;
        }
        if (send_result(fd, 1) != 0) break;
    }
    close(fd);

    if (!have_answer) {
        fprintf(stderr, "no answer came from '%s'\n", title);
        return 1;
    }
    printf("%lu\n", (unsigned long)answer.result);
    if (answer.result == 0) {
        printf("%.6f %.6f %.6f %.6f\n", answer.results[0], answer.results[1], answer.results[2], answer.results[3]);
    }
    return answer.result > 255u ? 255 : (int)answer.result;
}
