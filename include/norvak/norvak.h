/*
 * norvak: the packed save files of the game, as a C library.
 *
 * A packed stream is a 4-byte size header followed by a body of literal and copy tokens.
 * These functions decode a stream to its content, encode content as a literal-only stream
 * (fast, about 9/8 of the content) and pack content into the smallest stream.
 *
 * Plain pointers and sizes, so that C, C# (P/Invoke) and Python (ctypes) can call them.
 * Every function is thread-safe, never throws, never keeps a pointer it was given, and
 * reports failures as a norvak_status. A NULL pointer is accepted wherever its size is 0.
 * The calling convention is the C one (cdecl on 32-bit Windows: in C# declare
 * CallingConvention.Cdecl).
 */
#ifndef NORVAK_H
#define NORVAK_H

#include <stddef.h>
#include <stdint.h>

#include "norvak/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum norvak_status {
    NORVAK_OK = 0,
    /* The stream is damaged: */
    NORVAK_ERROR_MISSING_HEADER = 1,       /* shorter than its 4-byte size header */
    NORVAK_ERROR_COPY_BEFORE_START = 2,    /* a copy reaches before the first content byte */
    NORVAK_ERROR_TRUNCATED = 3,            /* the body ends before the content is complete */
    NORVAK_ERROR_LENGTH_CODE_TOO_LONG = 4, /* a copy's length code never ends */
    NORVAK_ERROR_STORED_TRUNCATED = 5,     /* stored content shorter than its header says */
    /* The call could not be done: */
    NORVAK_ERROR_BUFFER_TOO_SMALL = 6,     /* *out_size tells the size needed */
    NORVAK_ERROR_OUT_OF_MEMORY = 7,
    NORVAK_ERROR_INVALID_ARGUMENT = 8,     /* a NULL pointer where one is needed */
    NORVAK_ERROR_CONTENT_TOO_LARGE = 9,    /* content of 2 GiB or more can not be packed */
    NORVAK_STATUS_MAX_ENUM = 0x7fffffff    /* keeps every int a valid value; never returned */
} norvak_status;

/* The library's version, e.g. "1.0.0". */
NORVAK_API const char* norvak_version(void);

/*
 * A short English text for a status, without a final full stop, e.g. "it is shorter than
 * 4 bytes"; "" for NORVAK_OK. Never NULL; a static string.
 */
NORVAK_API const char* norvak_status_text(norvak_status status);

/*
 * The same reason with the content size named where it matters, e.g. "it ends before all
 * 1000 bytes are decoded" (content_size from norvak_content_size). Writes at most
 * buffer_size bytes including a terminating NUL and returns the whole text's length, as
 * snprintf does; buffer may be NULL when buffer_size is 0.
 */
NORVAK_API size_t norvak_damage_text(norvak_status status, size_t content_size, char* buffer,
                                     size_t buffer_size);

/*
 * The content size the stream's header announces (it is not checked against the body).
 * NORVAK_ERROR_MISSING_HEADER when stream_size < 4.
 */
NORVAK_API norvak_status norvak_content_size(const uint8_t* stream, size_t stream_size,
                                             size_t* content_size);

/* The exact size norvak_encode writes for content_size bytes; 0 when that is too large. */
NORVAK_API size_t norvak_encoded_size(size_t content_size);

/* The most norvak_pack writes for content_size bytes; 0 when that is too large. */
NORVAK_API size_t norvak_pack_bound(size_t content_size);

/*
 * Decodes stream into out. On NORVAK_OK *out_size is the content size. On
 * NORVAK_ERROR_BUFFER_TOO_SMALL *out_size is the size the header asks for and out holds
 * unspecified bytes. For untrusted input prefer norvak_decode_alloc: a damaged header can
 * ask for up to 2 GiB.
 */
NORVAK_API norvak_status norvak_decode(const uint8_t* stream, size_t stream_size,
                                       uint8_t* out, size_t out_capacity, size_t* out_size);

/*
 * Decodes stream into a buffer the library allocates, growing it as content is produced
 * rather than trusting the header. On NORVAK_OK *out points to *out_size bytes (NULL when
 * the content is empty): release it with norvak_free. On failure *out is NULL.
 */
NORVAK_API norvak_status norvak_decode_alloc(const uint8_t* stream, size_t stream_size,
                                             uint8_t** out, size_t* out_size);

/* Releases a buffer from norvak_decode_alloc; NULL is allowed. */
NORVAK_API void norvak_free(void* buffer);

/*
 * Encodes content as a literal-only stream. out_capacity needs norvak_encoded_size bytes;
 * otherwise NORVAK_ERROR_BUFFER_TOO_SMALL with *out_size the size needed.
 */
NORVAK_API norvak_status norvak_encode(const uint8_t* content, size_t content_size,
                                       uint8_t* out, size_t out_capacity, size_t* out_size);

/*
 * Packs content into the smallest stream. out_capacity of norvak_pack_bound bytes is always
 * enough; with less, NORVAK_ERROR_BUFFER_TOO_SMALL tells the size needed in *out_size.
 */
NORVAK_API norvak_status norvak_pack(const uint8_t* content, size_t content_size,
                                     uint8_t* out, size_t out_capacity, size_t* out_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* NORVAK_H */
