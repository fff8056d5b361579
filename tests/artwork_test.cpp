// The committed pictures are exactly what the generator paints, and each one
// meets what the show needs from it.
#include <allegro.h>
#include <jpgalleg.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "spy_host.h"
#include "pictures.h"
#include "show/show.h"
#include "test_files.h"

namespace {

const char* const kFiles[] = {"afro.jpg",  "logo.jpg",  "ruvo2.jpg", "porras.bmp", "porras2.bmp", "tile.bmp",
                              "face1.jpg", "face2.jpg", "tolmo.jpg", "face3.jpg",  "ilta.jpg"};

std::vector<char> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct BitmapDeleter {
    void operator()(BITMAP* b) const { destroy_bitmap(b); }
};
using Bmp = std::unique_ptr<BITMAP, BitmapDeleter>;

std::string committed(const char* name) { return std::string(ARTWORK_DIR) + "/" + name; }

Bmp load(const char* name) {
    std::string path = committed(name);
    std::string ext = path.substr(path.size() - 3);
    BITMAP* b = ext == "jpg" ? load_jpg(path.c_str(), nullptr) : load_bitmap(path.c_str(), nullptr);
    return Bmp(b);
}

int red(BITMAP* b, int x, int y) { return getr32(getpixel(b, x, y)); }
int green(BITMAP* b, int x, int y) { return getg32(getpixel(b, x, y)); }
int blue(BITMAP* b, int x, int y) { return getb32(getpixel(b, x, y)); }

class Artwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(artgen::init_headless()); }
};

TEST_F(Artwork, GeneratorReproducesCommittedFilesByteForByte) {
    char tmpl[] = "/tmp/artwork-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    ASSERT_TRUE(artgen::write_all(dir));
    for (const char* name : kFiles) {
        std::vector<char> fresh = slurp(dir + "/" + name);
        std::vector<char> kept = slurp(committed(name));
        EXPECT_FALSE(fresh.empty()) << name;
        EXPECT_TRUE(fresh == kept) << name << " differs from the committed file";
        std::remove((dir + "/" + name).c_str());
    }
    rmdir(dir.c_str());
}

TEST_F(Artwork, SizesFitHowTheShowUsesThem) {
    struct Want {
        const char* name;
        int minW, maxW, minH, maxH;
    };
    const Want wants[] = {
        {"afro.jpg", 270, 270, 480, 480},   {"logo.jpg", 640, 640, 1, 320},       {"ruvo2.jpg", 640, 640, 480, 480},
        {"porras.bmp", 272, 272, 57, 57},   {"porras2.bmp", 272, 272, 20, 20},   {"tile.bmp", 32, 64, 32, 64},
        {"face1.jpg", 256, 256, 256, 256},  {"face2.jpg", 256, 256, 256, 256},   {"tolmo.jpg", 320, 4096, 401, 4096},
        {"face3.jpg", 256, 256, 256, 256},  {"ilta.jpg", 180, 4096, 240, 4096},
    };
    for (const Want& w : wants) {
        Bmp b = load(w.name);
        ASSERT_TRUE(b) << w.name << " does not load";
        EXPECT_GE(b->w, w.minW) << w.name;
        EXPECT_LE(b->w, w.maxW) << w.name;
        EXPECT_GE(b->h, w.minH) << w.name;
        EXPECT_LE(b->h, w.maxH) << w.name;
    }
    Bmp tile = load("tile.bmp");
    EXPECT_EQ(tile->w, tile->h) << "the tile is stretched to squares";
}

TEST_F(Artwork, AfroKeysToACleanSilhouette) {
    Bmp b = load("afro.jpg");
    ASSERT_TRUE(b);
    int fringe = 0, dark = 0, keyedNotWhite = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 270; ++x) {
            int r = red(b.get(), x, y);
            if (r <= 25) {
                ++dark;
            } else if (r >= 31) {
                // Keyed pixels are the plain background.
                if (r < 200 || green(b.get(), x, y) < 200 || blue(b.get(), x, y) < 200) ++keyedNotWhite;
            } else {
                ++fringe;
            }
        }
    EXPECT_EQ(fringe, 0) << "pixels with red 26..30 stay opaque as a pale fringe";
    EXPECT_EQ(keyedNotWhite, 0);
    // A real figure, not an empty or a full frame.
    EXPECT_GT(dark, 270 * 480 / 5);
    EXPECT_LT(dark, 270 * 480 * 4 / 5);
    // Plain background in the top right corner, figure at the bottom (shoulders).
    EXPECT_GE(red(b.get(), 265, 5), 31);
    EXPECT_LE(red(b.get(), 135, 475), 25);
    // The show keys only these 270 columns and draws the canvas's own
    // picture right of them: a figure reaching the last columns ends on a
    // hard vertical cut. The torso has to end inside the picture.
    int figureAtRight = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 262; x < 270; ++x)
            if (red(b.get(), x, y) <= 25) ++figureAtRight;
    EXPECT_EQ(figureAtRight, 0) << "figure pixels in the last eight columns";
}

TEST_F(Artwork, FaceReliefHasDarkBackgroundAndRaisedFace) {
    Bmp f1 = load("face1.jpg");
    ASSERT_TRUE(f1);
    // Corners are background: no dashes there.
    const int corners[][2] = {{0, 0}, {255, 0}, {0, 255}, {255, 255}, {10, 128}, {245, 40}};
    for (auto& c : corners) EXPECT_LE(red(f1.get(), c[0], c[1]), 60) << c[0] << "," << c[1];
    int background = 0, raised = 0, raisedAtRim = 0, barelyRaised = 0;
    std::vector<int> heights;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int r = red(f1.get(), x, y);
            if (r <= 60) ++background;
            if (r > 60) ++raised;
            if (r > 60) heights.push_back(r);
            // A pixel just over the threshold is shifted far less than its
            // neighbours: a stray dash off the outline, or one tooth of a
            // comb where the height runs down through the threshold.
            if (r > 60 && r < 90) ++barelyRaised;
            // The picture turns: whatever is raised near the rim of its disc
            // (the neck) would show as a cut edge sweeping round.
            double dx = x + 0.5 - 128, dy = y + 0.5 - 128;
            if (r > 60 && dx * dx + dy * dy >= 122.0 * 122.0) ++raisedAtRim;
        }
    EXPECT_EQ(raisedAtRim, 0);
    EXPECT_EQ(barelyRaised, 0) << "the head must end on one clean drop to the background";
    // The face fills a good part of the picture and the centre is raised.
    EXPECT_GT(raised, 256 * 256 / 4);
    EXPECT_GT(background, 256 * 256 / 8);
    EXPECT_GT(red(f1.get(), 128, 128), 60);
    // The relief shifts each dash by its red: crowded into a few levels the
    // head moves as one flat block, so the middle nine tenths of the head
    // spread over at least 120 levels.
    std::sort(heights.begin(), heights.end());
    const int p5 = heights[heights.size() / 20], p95 = heights[heights.size() * 19 / 20];
    EXPECT_GE(p95 - p5, 120) << "red " << p5 << ".." << p95 << " from the 5th to the 95th percentile";
}

TEST_F(Artwork, FaceColourLinesUpWithTheRelief) {
    Bmp f1 = load("face1.jpg"), f2 = load("face2.jpg");
    ASSERT_TRUE(f1 && f2);
    // Where the relief is background the portrait is dark backdrop too, and
    // where it is raised the portrait shows the lit face.
    long onFace = 0, onBack = 0, nFace = 0, nBack = 0;
    for (int y = 0; y < 256; y += 2)
        for (int x = 0; x < 256; x += 2) {
            int lum = red(f2.get(), x, y) + green(f2.get(), x, y) + blue(f2.get(), x, y);
            if (red(f1.get(), x, y) > 80) {
                onFace += lum;
                ++nFace;
            } else if (red(f1.get(), x, y) < 30) {
                onBack += lum;
                ++nBack;
            }
        }
    ASSERT_GT(nFace, 0);
    ASSERT_GT(nBack, 0);
    EXPECT_GT(onFace / nFace, 2 * (onBack / nBack));
}

// Colour distance between two pixels, summed over the channels.
int step(BITMAP* b, int x0, int y0, int x1, int y1) {
    return std::abs(red(b, x0, y0) - red(b, x1, y1)) + std::abs(green(b, x0, y0) - green(b, x1, y1)) +
           std::abs(blue(b, x0, y0) - blue(b, x1, y1));
}

TEST_F(Artwork, TunnelWallTilesWithoutSeam) {
    Bmp b = load("face3.jpg");
    ASSERT_TRUE(b);
    auto diff = [&](int x0, int y0, int x1, int y1) { return step(b.get(), x0, y0, x1, y1); };
    // The step across the wrap must look like an ordinary step between
    // neighbouring columns (depth) and rows (angle) inside the picture.
    double wrapX = 0, wrapY = 0, stepX = 0, stepY = 0;
    for (int i = 0; i < 256; ++i) {
        wrapX += diff(255, i, 0, i);
        wrapY += diff(i, 255, i, 0);
        for (int j = 0; j < 255; ++j) {
            stepX += diff(j, i, j + 1, i);
            stepY += diff(i, j, i, j + 1);
        }
    }
    wrapX /= 256;
    wrapY /= 256;
    stepX /= 256.0 * 255;
    stepY /= 256.0 * 255;
    EXPECT_LT(wrapX, 2 * stepX + 4) << "seam across depth";
    EXPECT_LT(wrapY, 2 * stepY + 4) << "seam across angle";
}

TEST_F(Artwork, TunnelScenePulsesOnTheEighthNote) {
    // The tunnel moves 2.56 wall columns a frame and an eighth note of the
    // tune lasts 20 frames. Over loop:1281-1340 of the real show the frame's
    // mean brightness either stays within 20 levels or repeats every 20
    // frames (19..21): rings every 32 columns would pulse every 12.5.
    std::vector<double> mean;
    SpyHost host;
    host.on_iteration = [&](BITMAP* b, Phase p, long n) {
        if (p != Phase::Loop || n < 1281 || n > 1340) return;
        double sum = 0;
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x) sum += red(b, x, y) + green(b, x, y) + blue(b, x, y);
        mean.push_back(sum / (3.0 * b->w * b->h));
    };
    host.esc = [](const SpyHost& h) { return h.phase() == Phase::Loop && h.phase_iteration() >= 1340; };
    ProbeResult probe;
    probe.pictures = decoded_pictures(ARTWORK_DIR);
    run_show(host, ARTWORK_DIR, probe);
    ASSERT_EQ(mean.size(), 60u);
    const double swing = *std::max_element(mean.begin(), mean.end()) - *std::min_element(mean.begin(), mean.end());
    // The lag over which the series repeats best: the least mean change.
    int period = 0;
    double least = 1e9;
    for (int lag = 8; lag <= 30; ++lag) {
        double change = 0;
        for (size_t i = 0; i + lag < mean.size(); ++i) change += std::fabs(mean[i + lag] - mean[i]);
        change /= static_cast<double>(mean.size() - lag);
        if (change < least) {
            least = change;
            period = lag;
        }
    }
    const bool repeats = period >= 19 && period <= 21 && least <= swing / 4;
    EXPECT_TRUE(swing <= 20 || repeats) << "brightness swings " << swing << ", repeating best every " << period
                                        << " frames (mean change " << least << ")";
}

TEST_F(Artwork, CityCardsMeetSideBySideWithoutABorder) {
    // The tunnel scene sets two copies of the city side by side, the right
    // edge of one against the left edge of the other. Read round the
    // picture's width, the eight columns across that join must look like
    // any eight neighbouring columns inside it: a frame down the sides (a
    // step in every row) or a jump at the join stands out above them all.
    Bmp b = load("ilta.jpg");
    ASSERT_TRUE(b);
    const int W = 180, H = 240;
    auto strip = [&](int first) {
        double sum = 0;
        for (int i = 0; i < 7; ++i)
            for (int y = 0; y < H; ++y) sum += step(b.get(), (first + i) % W, y, (first + i + 1) % W, y);
        return sum / H;
    };
    double busiest = 0;
    for (int x = 4; x + 8 <= W - 4; ++x) busiest = std::max(busiest, strip(x));
    EXPECT_LT(strip(W - 4), busiest) << "the join is busier than any strip inside the picture";
}

TEST_F(Artwork, SpritesUseExactMagentaAsTheMask) {
    Bmp riser = load("porras2.bmp"), tile = load("tile.bmp");
    ASSERT_TRUE(riser && tile);
    const int magenta = makecol32(255, 0, 255);
    // Tile: corners are masked, the middle is solid.
    EXPECT_EQ(getpixel(tile.get(), 0, 0), magenta);
    EXPECT_EQ(getpixel(tile.get(), tile->w - 1, tile->h - 1), magenta);
    EXPECT_NE(getpixel(tile.get(), tile->w / 2, tile->h / 2), magenta);
    // Riser: solid in the middle, masked at its narrow upper corners.
    EXPECT_EQ(getpixel(riser.get(), 0, 0), magenta);
    EXPECT_NE(getpixel(riser.get(), 136, 10), magenta);
    // No near-magenta pixels that would show as a pink halo.
    for (BITMAP* b : {riser.get(), tile.get()})
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x) {
                int p = getpixel(b, x, y);
                if (p == magenta) continue;
                bool nearMagenta = getr32(p) > 230 && getg32(p) < 25 && getb32(p) > 230;
                EXPECT_FALSE(nearMagenta) << x << "," << y;
            }
    // The tread has no mask pixels at all: it is blended whole.
    Bmp stair = load("porras.bmp");
    ASSERT_TRUE(stair);
    for (int y = 0; y < stair->h; ++y)
        for (int x = 0; x < stair->w; ++x) ASSERT_NE(getpixel(stair.get(), x, y), magenta);
}

}  // namespace
