// The tunnel tables: texture layout, the XOR pattern and the depth/angle maps of the tunnel view.
#include <gtest/gtest.h>

#include <memory>

#include "assets/tunnel_tables.h"
#include "host/headless_allegro.h"

namespace {

// A face3 stand-in whose every pixel tells where it came from.
int face_pixel(int x, int y)
{
    return (x << 16) | (y << 8) | 0x33;
}

class TunnelTablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        start_headless_allegro(32);
        BITMAP* face = create_bitmap_ex(32, 256, 256);
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++)
                putpixel(face, x, y, face_pixel(x, y));
        tables = std::make_unique<TunnelTables>();
        build_tunnel_tables(*tables, face);
        destroy_bitmap(face);
    }
    static void TearDownTestSuite() { tables.reset(); }

    static int depth(int x, int y) { return tables->distanceTable[x * 480 + y]; }
    static int angle(int x, int y) { return tables->angleTable[x * 480 + y]; }

    static std::unique_ptr<TunnelTables> tables;
};

std::unique_ptr<TunnelTables> TunnelTablesTest::tables;

TEST_F(TunnelTablesTest, TexturesAreIndexedXThenY)
{
    const TunnelTables& t = *tables;
    // Entry i*256+j is the picture at x = i, y = j (not transposed).
    EXPECT_EQ(t.texture[3 * 256 + 200], face_pixel(3, 200));
    EXPECT_EQ(t.texture[200 * 256 + 3], face_pixel(200, 3));
    EXPECT_EQ(t.texture[0], face_pixel(0, 0));
    EXPECT_EQ(t.texture[65535], face_pixel(255, 255));

    EXPECT_EQ(t.xorTexture[3 * 256 + 5], 6);
    EXPECT_EQ(t.xorTexture[255 * 256 + 0], 255);
    EXPECT_EQ(t.xorTexture[170 * 256 + 85], 255);
    EXPECT_EQ(t.xorTexture[77 * 256 + 77], 0);
    EXPECT_EQ(t.tunnel_w, 640);
    EXPECT_EQ(t.tunnel_h, 320);
}

TEST_F(TunnelTablesTest, CornersCentreAndOtherPoints)
{
    struct Entry {
        int x, y, depth, angle;
    };
    const Entry entries[] = {
        // corners
        {0, 0, -8, -109},
        {639, 0, -8, 60},
        {0, 319, -8, 70},
        {639, 319, -8, 58},
        // the centre (no finite quotient) and its neighbours at r = 1
        {320, 160, 0, 20},
        {321, 160, 0, 20},
        {319, 160, 0, 146},
        {320, 161, 0, 82},
        // elsewhere: d = -256 at r = 12, then two ordinary points
        {332, 160, 0, 21},
        {330, 170, -217, 51},
        {100, 200, -13, 108},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(::testing::Message() << "(" << e.x << ", " << e.y << ")");
        EXPECT_EQ(depth(e.x, e.y), e.depth);
        EXPECT_EQ(angle(e.x, e.y), e.angle);
    }
}

TEST_F(TunnelTablesTest, RangesRow160AndUnusedRows)
{
    int min_depth = 0, max_depth = -1000, min_angle = 1000, max_angle = -1000;
    for (int x = 0; x < 640; x++) {
        for (int y = 0; y < 320; y++) {
            min_depth = std::min(min_depth, depth(x, y));
            max_depth = std::max(max_depth, depth(x, y));
            min_angle = std::min(min_angle, angle(x, y));
            max_angle = std::max(max_angle, angle(x, y));
        }
    }
    EXPECT_GE(min_depth, -255);
    EXPECT_EQ(max_depth, 0);
    EXPECT_GE(min_angle, -146);
    EXPECT_EQ(max_angle, 146);

    // Right of the centre the arc tangent is 0: only the twist (x - 160) / 8 is left.
    for (int x = 320; x < 640; x++)
        ASSERT_EQ(angle(x, 160), (x - 160) / 8) << "x " << x;

    // Rows 320..479 of every column are never filled.
    int nonzero = 0;
    for (int x = 0; x < 640; x++)
        for (int y = 320; y < 480; y++)
            nonzero += depth(x, y) != 0 || angle(x, y) != 0;
    EXPECT_EQ(nonzero, 0);
}

}  // namespace
