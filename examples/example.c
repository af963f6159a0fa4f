/* Converts a small 16-bit image to float and back to 8-bit with lumra, and
 * shows how a failing check is reported. */
#include <stdio.h>

#include <lumra.h>

int main(void) {
    uint16_t raw[2 * 3] = {0, 1024, 2048, 4095, 3000, 65535};
    float linear[2 * 3];
    uint8_t out[2 * 3];
    LumraImage src = {raw, 2, 3, 1, LUMRA_DTYPE_UINT16, 0};
    LumraImage mid = {linear, 2, 3, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage dst = {out, 2, 3, 1, LUMRA_DTYPE_UINT8, 0};
    LumraStatus status;
    int i;

    /* 12-bit data in 16-bit storage: 4095 is full scale. A ceiling of 1.0
     * keeps the out-of-range 65535 at white. */
    status = lumra_convert_dtype(&src, &mid, 12, 0, 1.0f);
    if (status != LUMRA_OK) return 1;
    status = lumra_convert_dtype(&mid, &dst, 0, 0, -1.0f);
    if (status != LUMRA_OK) return 1;

    printf("lumra %s:", lumra_version());
    for (i = 0; i < 6; ++i) printf(" %u", (unsigned)out[i]);
    printf("\n");

    /* A descriptor with a non-zero reserved field is refused, and dst is left alone. */
    mid.reserved = 1;
    if (lumra_convert_dtype(&src, &mid, 12, 0, 1.0f) != LUMRA_ERR_INVALID_ARGUMENT) return 1;
    return (out[3] == 255 && out[5] == 255 && out[0] == 0) ? 0 : 1;
}
