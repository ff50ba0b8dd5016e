/* A program that uses the installed libpixory: makes a grey ramp, saves it,
 * loads it into another slot and compares. Prints "ok WIDTHxHEIGHT". */
#include <pixory.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: hello_pixory FILE.bmp\n");
        return 2;
    }
    if (!pxImageNew(0, NULL, 64, 48, 8, 0)) {
        fprintf(stderr, "pxImageNew failed\n");
        return 1;
    }
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) pxSetPixelValue(0, x, y, (x * 3 + y) & 255);
    pxSaveImage(0, argv[1], 0);
    if (!pxLoadImage(1, argv[1])) {
        fprintf(stderr, "pxLoadImage failed for %s\n", argv[1]);
        return 1;
    }
    int width = pxGetXSize(1), height = pxGetYSize(1);
    int same = width == 64 && height == 48;
    for (int y = 0; same && y < 48; ++y)
        for (int x = 0; same && x < 64; ++x) same = pxGetPixelValue(1, x, y) == ((x * 3 + y) & 255);
    pxCloseAll();
    if (!same) {
        fprintf(stderr, "the image read back differs (%dx%d)\n", width, height);
        return 1;
    }
    printf("ok %dx%d\n", width, height);
    return 0;
}
