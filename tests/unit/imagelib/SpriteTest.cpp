// Sprites: the table, drawing with transparency, turns, frames and animation, tile maps,
// map neighbours, and collisions checked against a pixel-by-pixel comparison of drawings.
#include "PixoryTestSupport.h"

#include <sys/mman.h>

#include <cstring>
#include <random>

using namespace pixorytest;

namespace {

class SpriteTest : public PixoryTest {
protected:
    void SetUp() override
    {
        PixoryTest::SetUp();
        pxSpritesInit(0, 8, 0);
        pxSetParam(1, 0);
        pxSetSpriteMaps(0, 0, 0, 0, 0, 0);
    }

    // An 8-bit image filled with a value, slot `number`.
    static void canvas(int number, int width, int height, int value, int bits = 8, int flags = 0x10)
    {
        ASSERT_NE(pxImageNew(number, nullptr, width, height, bits, flags), nullptr);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pxSetPixelValue(number, x, y, value);
    }

    // The image as rows of values, for comparing with expected pictures.
    static std::vector<std::vector<int>> picture(int number, int x, int y, int width, int height)
    {
        std::vector<std::vector<int>> rows(height, std::vector<int>(width));
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                rows[r][c] = pxGetPixelValue(number, x + c, y + r);
        return rows;
    }
    using Rows = std::vector<std::vector<int>>;
};

// The source sprite used for the orientation tests: 3 wide, 2 high.
//   1 2 3
//   4 5 6
const uint8_t kSource[] = {1, 2, 3, 4, 5, 6};

TEST_F(SpriteTest, TableIndexesAndRecord)
{
    EXPECT_EQ(pxSetSprite(-1, kSource, 3, 2, 3, 0), 0);
    EXPECT_EQ(pxSetSprite(-1, kSource, 3, 2, 3, 0), 1);
    EXPECT_EQ(pxSetSprite(7, kSource, 3, 2, 0, 0), 7);
    EXPECT_EQ(pxSetSprite(-1, kSource, 3, 2, 0, 0), 8);  // one past the highest in use
    EXPECT_EQ(pxSetSprite(65535, kSource, 1, 1, 0, 0), 65535);
    EXPECT_EQ(pxSetSprite(65536, kSource, 1, 1, 0, 0), -1);
    // Bad sizes, pitches and memory are refused.
    EXPECT_EQ(pxSetSprite(2, nullptr, 3, 2, 3, 0), -1);
    EXPECT_EQ(pxSetSprite(2, kSource, 0, 2, 3, 0), -1);
    EXPECT_EQ(pxSetSprite(2, kSource, 3, 2, 40000, 0), -1);
    EXPECT_EQ(pxSetSprite(2, inaccessibleAddress(), 3, 2, 3, 0), -1);
    EXPECT_EQ(pxSpriteSizeX(2), 0);
    EXPECT_EQ(pxSpriteSizeX(7), 3);
    EXPECT_EQ(pxSpriteSizeY(7), 2);

    pxSpritesInit(-1, 8, 77);  // keeps the table, changes the transparent value of new sprites
    EXPECT_EQ(pxSetSprite(3, kSource, 3, 2, 3, 2), 3);
    EXPECT_EQ(pxSetSpritePos(3, -4, 9, 0x405), 0);
    int w, h, x, y, state, flags;
    void* pixels = nullptr;
    const auto* record =
        static_cast<const uint8_t*>(pxGetSpriteInfo(3, &w, &h, &x, &y, &state, &flags, &pixels));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(x, -4);
    EXPECT_EQ(y, 9);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(flags, 0x405);
    EXPECT_EQ(pixels, kSource);
    // The record by address: pointer, 16-bit width, height, pitch, state, flags, 32-bit x,
    // y, transparent, 16-bit frames.
    int16_t w16, pitch16, frames16;
    int32_t y32, transparent32;
    std::memcpy(&w16, record + 8, 2);
    std::memcpy(&pitch16, record + 12, 2);
    std::memcpy(&y32, record + 24, 4);
    std::memcpy(&transparent32, record + 28, 4);
    std::memcpy(&frames16, record + 32, 2);
    EXPECT_EQ(w16, 3);
    EXPECT_EQ(pitch16, 3);
    EXPECT_EQ(y32, 9);
    EXPECT_EQ(transparent32, 77);
    EXPECT_EQ(frames16, 2);
    EXPECT_EQ(pxGetSpriteInfo(4, &w, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    // Visibility: -1 keeps everything, 0 hides, 1 shows without touching the flags.
    pxSetSpritePos(3, 0, 0, -1);
    pxSetSpritePos(3, 0, 0, 0);
    pxGetSpriteInfo(3, nullptr, nullptr, nullptr, nullptr, &state, &flags, nullptr);
    EXPECT_EQ(state, 0);
    pxSetSpritePos(3, 0, 0, 1);
    pxGetSpriteInfo(3, nullptr, nullptr, nullptr, nullptr, &state, &flags, nullptr);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(flags, 0x405);

    // Initialising with a capacity forgets every sprite.
    pxSpritesInit(10, 8, 0);
    EXPECT_EQ(pxSpriteSizeX(7), 0);
    EXPECT_EQ(pxSetSprite(-1, kSource, 3, 2, 3, 0), 0);
    EXPECT_EQ(pxSetSpritePos(5, 0, 0, 1), -1);
}

TEST_F(SpriteTest, TransparencyClippingAndRowOrder)
{
    // A sprite with transparent value 0 leaves the picture where the sprite has 0.
    const uint8_t ring[] = {0, 9, 0, 9, 0, 9, 0, 9, 0};
    for (int flags : {0x10, 0x11}) {  // bottom-up and top-down rows
        SCOPED_TRACE(flags);
        canvas(1, 6, 5, 50, 8, flags);
        pxSpritesInit(0, 8, 0);
        ASSERT_EQ(pxSetSprite(0, ring, 3, 3, 3, 0), 0);
        pxSetSpritePos(0, 1, 1, 1);
        EXPECT_EQ(pxPutSprites(1), 0);
        EXPECT_EQ(picture(1, 0, 0, 6, 5), (Rows{{50, 50, 50, 50, 50, 50},
                                                {50, 50, 9, 50, 50, 50},
                                                {50, 9, 50, 9, 50, 50},
                                                {50, 50, 9, 50, 50, 50},
                                                {50, 50, 50, 50, 50, 50}}));
        // Clipped at every edge; opaque draws the zeros too.
        pxSetSpritePos(0, -2, 3, 0x400);
        EXPECT_EQ(pxPutSprites(1), 0);
        EXPECT_EQ(picture(1, 0, 3, 2, 2), (Rows{{0, 50}, {9, 50}}));
        pxSetSpritePos(0, 4, -1, 0x400);
        pxPutSprites(1);
        EXPECT_EQ(picture(1, 4, 0, 2, 2), (Rows{{9, 0}, {0, 9}}));
    }
    // Pixel sizes must agree.
    canvas(2, 4, 4, 0, 24);
    EXPECT_EQ(pxPutSprites(2), -1);
    EXPECT_EQ(pxPutSprites(40), -1);
    EXPECT_EQ(pxSetSpriteImg(2, 0, 2, 2, 0, 0, 0), -1);

    // 24-bit sprites: the transparent value is a whole pixel 0xRRGGBB.
    pxSpritesInit(0, 24, 0x102030);
    canvas(2, 4, 1, 0x777777, 24);
    canvas(3, 4, 1, 0x102030, 24);
    pxSetPixelValue(3, 1, 0, 0x102031);
    pxSetPixelValue(3, 2, 0, 0xABCDEF);
    ASSERT_EQ(pxSetSpriteImg(3, 0, 4, 1, 0, 0, 0), 0);
    pxSetSpritePos(0, 0, 0, 1);
    EXPECT_EQ(pxPutSprites(2), 0);
    EXPECT_EQ(picture(2, 0, 0, 4, 1), (Rows{{0x777777, 0x102031, 0xABCDEF, 0x777777}}));
}

TEST_F(SpriteTest, TurnsMirrorsFramesAndNeighbours)
{
    struct Case {
        int flags;
        Rows drawn;
    };
    const Case
        cases[] =
            {
                {0x0, {{1, 2, 3}, {4, 5, 6}}},
                {0x4000, {{1, 2, 3}, {4, 5, 6}}},  // the general path draws the same
                {0x2, {{3, 2, 1}, {6, 5, 4}}},
                {0x4, {{4, 5, 6}, {1, 2, 3}}},
                {0x6, {{6, 5, 4}, {3, 2, 1}}},
                {0x1, {{1, 4}, {2, 5}, {3, 6}}},  // transposed
                {0x3, {{4, 1}, {5, 2}, {6, 3}}},  // a quarter turn clockwise
                {0x5, {{3, 6}, {2, 5}, {1, 4}}},  // a quarter turn anticlockwise
                {0x7, {{6, 3}, {5, 2}, {4, 1}}},
                {0xB, {{3, 6}, {2, 5}, {1, 4}}},  // with 0x8 the mirrors exchange their effect
                {0xD, {{4, 1}, {5, 2}, {6, 3}}},
            };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        canvas(1, 5, 5, 0);
        pxSpritesInit(0, 8, 0);
        ASSERT_EQ(pxSetSprite(0, kSource, 3, 2, 3, 0), 0);
        pxSetSpritePos(0, 1, 1, c.flags | 0x10000);  // above 1: visible, the low 16 bits the flags
        ASSERT_EQ(pxPutSprites(1), 0);
        const auto width = static_cast<int>(c.drawn[0].size()), height = static_cast<int>(c.drawn.size());
        EXPECT_EQ(picture(1, 1, 1, width, height), c.drawn);
    }

    // Frame rows: the first and last n rows in the frame value, here of the turned sprite.
    EXPECT_EQ(pxSetParam(1, 200), 0);
    EXPECT_EQ(pxSetParam(1, 201), 200);
    EXPECT_EQ(pxSetParam(2, 5), 0);
    canvas(1, 5, 5, 0);
    pxSetSpritePos(0, 0, 0, 0x103);
    pxPutSprites(1);
    EXPECT_EQ(picture(1, 0, 0, 2, 3), (Rows{{201, 201}, {5, 2}, {201, 201}}));

    // The index step picks a neighbouring sprite's pixels, drawn at this sprite's place.
    const uint8_t other[] = {7, 7, 7, 7, 7, 7};
    ASSERT_EQ(pxSetSprite(2, other, 3, 2, 3, 0), 2);
    canvas(1, 5, 5, 0);
    pxSetSpritePos(0, 2, 2, 0x20);
    pxPutSprites(1);
    EXPECT_EQ(picture(1, 2, 2, 3, 2), (Rows{{7, 7, 7}, {7, 7, 7}}));
}

TEST_F(SpriteTest, AnimationFrames)
{
    // Three frames of 2 x 1 side by side, and three below each other, cut from images.
    canvas(1, 6, 3, 0);
    for (int x = 0; x < 6; ++x)
        pxSetPixelValue(1, x, 0, 10 + x / 2);
    for (int y = 0; y < 3; ++y)
        pxSetPixelValue(1, 0, y, y == 0 ? 10 : 20 + y);
    ASSERT_EQ(pxSetSpriteImg(1, 0, 2, 1, 0, 0, 3), 0);
    ASSERT_EQ(pxSetSpriteImg(1, 1, 1, 1, 0, 0, -3), 1);
    EXPECT_EQ(pxSetSpriteImg(1, 2, 2, 1, 2, 0, 3), -1);  // the frames would leave the image
    pxSetSpritePos(0, 0, 0, 1);
    pxSetSpritePos(1, 3, 0, 1);
    canvas(2, 4, 1, 0);
    auto frameShown = [&] {
        pxPutSprites(2);
        return std::make_pair(pxGetPixelValue(2, 0, 0), pxGetPixelValue(2, 3, 0));
    };
    EXPECT_EQ(frameShown(), std::make_pair(10, 10));  // no delay: frame 0 stays
    EXPECT_EQ(pxSetSpriteAnim(0, 2, 0), 0);
    EXPECT_EQ(frameShown(), std::make_pair(12, 10));
    pxSetSpriteAnim(0, 5, 2);  // frame 5 does not exist; a frame every second drawing
    pxSetSpriteAnim(1, 1, 1);
    EXPECT_EQ(frameShown(), std::make_pair(12, 21));
    EXPECT_EQ(frameShown(), std::make_pair(12, 22));
    EXPECT_EQ(frameShown(), std::make_pair(10, 10));  // wrapped round
    EXPECT_EQ(frameShown(), std::make_pair(10, 21));
    pxSetSpriteAnim(0, -1, -1);  // stopped where it is
    EXPECT_EQ(frameShown(), std::make_pair(11, 22));
    EXPECT_EQ(frameShown(), std::make_pair(11, 10));
    EXPECT_EQ(pxSetSpriteAnim(9, 0, 0), -1);
}

TEST_F(SpriteTest, PixelsFollowTheirImageAndVanishWithIt)
{
    canvas(1, 8, 8, 5);
    canvas(2, 4, 4, 0);
    ASSERT_EQ(pxSetSpriteImg(1, 0, 2, 2, 6, 6, 0), 0);
    pxSetSpritePos(0, 1, 1, 1);
    pxPutSprites(2);
    EXPECT_EQ(pxGetPixelValue(2, 1, 1), 5);
    // The slot re-created at the same size: the sprite shows what lies there now.
    canvas(1, 8, 8, 6);
    pxPutSprites(2);
    EXPECT_EQ(pxGetPixelValue(2, 2, 2), 6);
    // Smaller, or emptied: nothing is drawn and nothing is read out of bounds.
    canvas(2, 4, 4, 0);
    canvas(1, 3, 3, 7);
    EXPECT_EQ(pxPutSprites(2), 0);
    EXPECT_EQ(pxGetPixelValue(2, 1, 1), 0);
    pxSetSpriteImg(1, 1, 3, 3, 0, 0, 0);
    pxSetSpritePos(1, 0, 0, 1);
    ASSERT_EQ(pxCollisionTestSprite(0, 1), 0);
    pxCloseAll();
    canvas(2, 4, 4, 0);
    EXPECT_EQ(pxPutSprites(2), 0);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 0);

    // A caller's memory that goes away is skipped as well.
    void* mapped = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    auto* page = static_cast<uint8_t*>(mapped);
    ASSERT_NE(mapped, MAP_FAILED);
    std::memset(page, 3, 16);
    ASSERT_EQ(pxSetSprite(2, page, 4, 4, 4, 0), 2);
    pxSetSpritePos(2, 0, 0, 1);
    pxPutSprites(2);
    EXPECT_EQ(pxGetPixelValue(2, 3, 3), 3);
    munmap(page, 4096);
    canvas(2, 4, 4, 0);
    EXPECT_EQ(pxPutSprites(2), 0);
    EXPECT_EQ(pxGetPixelValue(2, 3, 3), 0);
}

TEST_F(SpriteTest, RasterAndCopies)
{
    // A raster of 2 x 2 cells, three per row, from row 1 down.
    canvas(1, 7, 6, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
            pxSetPixelValue(1, x, y, 10 * y + x);
    EXPECT_EQ(pxSetSpriteImgRaster(1, 4, 5, 3, 2, 2, 1, 0), 5);
    EXPECT_EQ(pxSetSpriteImgRaster(1, -1, 9, 3, 2, 2, 1, 0), 6);  // the image holds only six
    EXPECT_EQ(pxSetSpriteImgRaster(1, 0, 1, 0, 2, 2, 1, 0), -1);
    void* pixels;
    canvas(2, 2, 2, 0);
    for (int k = 0; k < 5; ++k) {
        pxSetSpritePos(4 + k, 0, 0, 1);
        pxPutSprites(2);
        pxSetSpritePos(4 + k, 0, 0, 0);
        EXPECT_EQ(pxGetPixelValue(2, 1, 1), 10 * (1 + 2 * (k / 3) + 1) + 2 * (k % 3) + 1) << k;
    }

    // A copy to a new index takes the position and state; to a used one it keeps its own.
    pxSetSpritePos(4, 3, 4, 1);
    EXPECT_EQ(pxCopySprite(4, -1), 15);
    int x, state;
    pxGetSpriteInfo(15, nullptr, nullptr, &x, nullptr, &state, nullptr, nullptr);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(state, 1);
    pxSetSpritePos(5, 9, 9, 0);
    EXPECT_EQ(pxCopySprite(4, 5), 5);
    pxGetSpriteInfo(5, nullptr, nullptr, &x, nullptr, &state, nullptr, &pixels);
    EXPECT_EQ(x, 9);
    EXPECT_EQ(state, 0);
    void* fourth;
    pxGetSpriteInfo(4, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &fourth);
    EXPECT_EQ(pixels, fourth);
    EXPECT_EQ(pxCopySprite(3, 6), -1);
}

TEST_F(SpriteTest, TileMaps)
{
    // Sprites 0..2: 2 x 2 tiles of 1, 2 and a ring of 3 with transparent 0.
    const uint8_t tiles[3][4] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 0, 0, 3}};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(pxSetSprite(i, tiles[i], 2, 2, 2, 0), i);
    const uint8_t map[2][3] = {{0, 1, 2}, {2, 9, 0}};
    canvas(1, 6, 4, 50);
    EXPECT_EQ(pxPutSpriteMap(1, map, 3, 2, 2, 2, 0, nullptr, 0, nullptr), 0);
    EXPECT_EQ(picture(1, 0, 0, 6, 4),
              (Rows{{1, 1, 2, 2, 3, 0}, {1, 1, 2, 2, 0, 3}, {3, 0, 50, 50, 1, 1}, {0, 3, 50, 50, 1, 1}}));
    // With transparency, through a translation table (entries beyond it skipped), and
    // with flags per cell whose bit 15 is cleared.
    const uint16_t translate[3] = {2, 0, 1};
    uint16_t cellFlags[6] = {0x8000, 0x8002, 0, 0, 0, 0x0004};
    canvas(1, 6, 4, 50);
    EXPECT_EQ(pxPutSpriteMap(1, map, 3, 2, 2, 2, 2 | 8, translate, 3, cellFlags), 0);
    EXPECT_EQ(picture(1, 0, 0, 6, 4),
              (Rows{{3, 50, 1, 1, 2, 2}, {50, 3, 1, 1, 2, 2}, {2, 2, 50, 50, 50, 3}, {2, 2, 50, 50, 3, 50}}));
    EXPECT_EQ(cellFlags[0], 0);
    EXPECT_EQ(cellFlags[1], 2);
    // 16-bit entries with flags per entry: entry 2 (the ring) is drawn mirrored.
    const uint16_t wideMap[2] = {2, 1};
    uint16_t entryFlags[3] = {0, 0, 0x2};
    canvas(1, 4, 2, 50);
    EXPECT_EQ(pxPutSpriteMap(1, wideMap, 2, 1, 2, 2, 1 | 4 | 8, nullptr, 0, entryFlags), 0);
    EXPECT_EQ(picture(1, 0, 0, 4, 2), (Rows{{50, 3, 2, 2}, {3, 50, 2, 2}}));
    // Tables that cannot be read are refused before anything is drawn.
    EXPECT_EQ(pxPutSpriteMap(1, inaccessibleAddress(), 2, 1, 2, 2, 0, nullptr, 0, nullptr), -2);
    auto* unwritable = static_cast<uint16_t*>(inaccessibleAddress());
    EXPECT_EQ(pxPutSpriteMap(1, map, 3, 2, 2, 2, 2, nullptr, 0, unwritable), -2);
    EXPECT_EQ(pxPutSpriteMap(31, map, 3, 2, 2, 2, 0, nullptr, 0, nullptr), -1);
}

TEST_F(SpriteTest, MapNeighbours)
{
    EXPECT_EQ(pxSprNextPos(5, 0), 5);  // no map yet
    pxSetSpriteMaps(0, 0, 0, 0, 4, 3);
    EXPECT_EQ(pxSprNextPos(5, 0), 6);
    EXPECT_EQ(pxSprNextPos(5, 1), 9);
    EXPECT_EQ(pxSprNextPos(5, 2), 4);
    EXPECT_EQ(pxSprNextPos(5, 3), 1);
    EXPECT_EQ(pxSprNextPos(5, 7), 1);  // direction & 3
    EXPECT_EQ(pxSprNextPos(3, 0), 3);  // the right edge does not run on into the next row
    EXPECT_EQ(pxSprNextPos(4, 2), 4);
    EXPECT_EQ(pxSprNextPos(1, 3), 1);    // above the top
    EXPECT_EQ(pxSprNextPos(10, 1), 10);  // below the bottom
    // Steps of the caller's own: diagonals.
    pxSetSpriteMaps(5, 3, -5, -3, 4, 3);
    EXPECT_EQ(pxSprNextPos(5, 0), 10);
    EXPECT_EQ(pxSprNextPos(5, 1), 8);
    EXPECT_EQ(pxSprNextPos(7, 0), 7);  // would leave the map
}

TEST_F(SpriteTest, MoreThanEightCollisions)
{
    const uint8_t block[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const uint8_t hollow[9] = {1, 1, 1, 1, 0, 1, 1, 1, 1};
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(pxSetSprite(i, block, 3, 3, 3, 0), i);
        pxSetSpritePos(i, i % 2, i % 3, 1);
    }
    pxSetSpritePos(11, 0, 0, 0);  // hidden: never collides
    EXPECT_EQ(pxCollisionTestSprites(0), 10);
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(pxGetLastCollision(n), n + 1);
    EXPECT_EQ(pxGetLastCollision(8), 0);
    EXPECT_EQ(pxCollisionTestSprite(0, 11), 0);
    EXPECT_EQ(pxCollisionTestSprite(0, 0), 0);
    EXPECT_EQ(pxCollisionTestSprite(0, 12), -1);
    // Rectangles that meet only where one is transparent do not touch.
    ASSERT_EQ(pxSetSprite(20, hollow, 3, 3, 3, 0), 20);
    ASSERT_EQ(pxSetSprite(21, block, 1, 1, 1, 0), 21);
    pxSetSpritePos(20, 50, 50, 1);
    pxSetSpritePos(21, 51, 51, 1);
    EXPECT_EQ(pxCollisionTestSprite(20, 21), 0);
    pxSetSpritePos(21, 52, 51, 1);
    EXPECT_EQ(pxCollisionTestSprite(20, 21), 1);
    EXPECT_EQ(pxCollisionTestSprites(21), 1);
    EXPECT_EQ(pxGetLastCollision(0), 20);
}

// Random sprites (holes, turns, mirrors, frames, opaque ones, frame rows) at random places:
// every pair's collision answer equals what drawing them shows, pixel by pixel.
TEST_F(SpriteTest, CollisionsAgreeWithDrawnPixels)
{
    std::mt19937 random(2024);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    int pairsTouching = 0, pairsApart = 0;
    for (int bits : {8, 24}) {
        SCOPED_TRACE(bits);
        const int bpp = bits / 8, grey = bpp == 3 ? 0x010101 : 1;
        for (int trial = 0; trial < 12; ++trial) {
            const int transparent = bits == 8 ? uniform(0, 3) : 0x010203 * uniform(0, 3);
            pxSpritesInit(0, bits, transparent);
            // A sheet of random pixels, many of them transparent.
            canvas(1, 64, 64, 0, bits);
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    pxSetPixelValue(1, x, y, uniform(0, 2) ? transparent : uniform(0, 255) * grey);
            const int count = 14;
            int xs[count], ys[count], flagWords[count];
            for (int i = 0; i < count; ++i) {
                const int w = uniform(1, 9), h = uniform(1, 9), frames = uniform(-2, 2);
                const int across = w * (frames > 0 ? frames : 1), down = h * (frames < 0 ? -frames : 1);
                ASSERT_EQ(pxSetSpriteImg(1, i, w, h, uniform(0, 64 - across), uniform(0, 64 - down), frames),
                          i);
                xs[i] = uniform(-6, 30);
                ys[i] = uniform(-6, 30);
                const int opaque = uniform(0, 5) == 0 ? 0x400 : 0, frameRows = uniform(0, 5) == 0 ? 0x100 : 0;
                flagWords[i] = uniform(0, 15) | opaque | frameRows | 0x4000;
                pxSetSpriteAnim(i, uniform(0, 1), 0);
            }
            auto showOnly = [&](int shown, int shift) {
                for (int j = 0; j < count; ++j)
                    pxSetSpritePos(j, xs[j] + shift, ys[j] + shift,
                                   j == shown || shown < 0 ? flagWords[j] : 0);
            };
            // What each sprite paints, drawn alone (shifted by 16 so that nothing is cut)
            // onto two backgrounds: a pixel is painted where either drawing changed it.
            std::vector<std::vector<bool>> painted(count, std::vector<bool>(64 * 64));
            for (int i = 0; i < count; ++i) {
                showOnly(i, 16);
                for (int background : {0x55, 0xAA}) {
                    const int fill = background * grey;
                    canvas(2, 64, 64, fill, bits);
                    pxPutSprites(2);
                    for (int p = 0; p < 64 * 64; ++p)
                        if (pxGetPixelValue(2, p % 64, p / 64) != fill)
                            painted[i][p] = true;
                }
            }
            showOnly(-1, 0);
            for (int i = 0; i < count; ++i) {
                int touching = 0;
                for (int j = 0; j < count; ++j) {
                    bool overlap = false;
                    for (int p = 0; p < 64 * 64 && i != j; ++p)
                        overlap = overlap || (painted[i][p] && painted[j][p]);
                    touching += overlap;
                    (overlap ? pairsTouching : pairsApart) += i != j;
                    ASSERT_EQ(pxCollisionTestSprite(i, j), overlap ? 1 : 0)
                        << trial << ": " << i << ", " << j;
                }
                ASSERT_EQ(pxCollisionTestSprites(i), touching);
            }
        }
    }
    // The layouts are dense enough to have both answers many times.
    EXPECT_GT(pairsTouching, 80);
    EXPECT_GT(pairsApart, 100);
}

}  // namespace
