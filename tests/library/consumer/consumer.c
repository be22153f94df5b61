/* Encodes a text, decodes it again, and shows a damage reason, through the C API. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <norvak/norvak.h>

int main(void) {
    const char* text = "salt=300 wine=12 salt=300 wine=12";
    size_t text_size = strlen(text);
    size_t capacity = norvak_encoded_size(text_size);
    uint8_t* stream = malloc(capacity);
    size_t stream_size = 0;
    uint8_t* plain = NULL;
    size_t plain_size = 0;
    norvak_status status;
    int failed = 1;

    if (stream == NULL) return 1;
    status = norvak_encode((const uint8_t*)text, text_size, stream, capacity, &stream_size);
    if (status == NORVAK_OK) status = norvak_decode_alloc(stream, stream_size, &plain, &plain_size);
    if (status != NORVAK_OK) {
        fprintf(stderr, "failed: %s\n", norvak_status_text(status));
    } else if (plain_size != text_size || memcmp(plain, text, text_size) != 0) {
        fprintf(stderr, "the round trip changed the text\n");
    } else {
        norvak_free(plain);
        status = norvak_decode_alloc(stream, 3, &plain, &plain_size);
        printf("C %s: %u bytes encoded to %u; a 3-byte stream: %s\n", norvak_version(), (unsigned)text_size,
               (unsigned)stream_size, norvak_status_text(status));
        failed = status != NORVAK_ERROR_MISSING_HEADER;
    }
    norvak_free(plain);
    free(stream);
    return failed;
}
