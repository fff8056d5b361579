// The committed pictures are exactly what the generator paints, and each one
// meets what the show needs from it.
#include <allegro.h>
#include <gtest/gtest.h>
#include <jpgalleg.h>
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

#include "pictures.h"
#include "show/show.h"
#include "spy_host.h"
#include "test_files.h"

namespace {

const char* const kFiles[] = {"afro.jpg",    "logo.jpg",  "ruvo2.jpg", "porras.bmp",
                              "porras2.bmp", "tile.bmp",  "face1.jpg", "face2.jpg",
                              "tolmo.jpg",   "face3.jpg", "ilta.jpg"};

std::vector<char> slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct BitmapDeleter {
    void operator()(BITMAP* b) const { destroy_bitmap(b); }
};
using Bmp = std::unique_ptr<BITMAP, BitmapDeleter>;

std::string committed(const char* name)
{
    return std::string(ARTWORK_DIR) + "/" + name;
}

Bmp load(const char* name)
{
    std::string path = committed(name);
    std::string ext = path.substr(path.size() - 3);
    BITMAP* b = ext == "jpg" ? load_jpg(path.c_str(), nullptr) : load_bitmap(path.c_str(), nullptr);
    return Bmp(b);
}

int red(BITMAP* b, int x, int y)
{
    return getr32(getpixel(b, x, y));
}
int green(BITMAP* b, int x, int y)
{
    return getg32(getpixel(b, x, y));
}
int blue(BITMAP* b, int x, int y)
{
    return getb32(getpixel(b, x, y));
}

class Artwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(artgen::init_headless()); }
};

TEST_F(Artwork, GeneratorReproducesCommittedFilesByteForByte)
{
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

TEST_F(Artwork, SizesFitHowTheShowUsesThem)
{
    struct Want {
        const char* name;
        int minW, maxW, minH, maxH;
    };
    const Want wants[] = {
        {"afro.jpg", 270, 270, 480, 480},    {"logo.jpg", 640, 640, 1, 320},
        {"ruvo2.jpg", 640, 640, 480, 480},   {"porras.bmp", 272, 272, 57, 57},
        {"porras2.bmp", 272, 272, 20, 20},   {"tile.bmp", 32, 64, 32, 64},
        {"face1.jpg", 256, 256, 256, 256},   {"face2.jpg", 256, 256, 256, 256},
        {"tolmo.jpg", 320, 4096, 401, 4096}, {"face3.jpg", 256, 256, 256, 256},
        {"ilta.jpg", 180, 4096, 240, 4096},
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

TEST_F(Artwork, AfroKeysToACleanSilhouette)
{
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
                if (r < 200 || green(b.get(), x, y) < 200 || blue(b.get(), x, y) < 200)
                    ++keyedNotWhite;
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
            if (red(b.get(), x, y) <= 25)
                ++figureAtRight;
    EXPECT_EQ(figureAtRight, 0) << "figure pixels in the last eight columns";
    // Nor does it touch the left edge: hair and shoulder round off inside.
    int figureAtLeft = 0;
    for (int y = 0; y < 480; ++y)
        figureAtLeft += red(b.get(), 0, y) <= 30;
    EXPECT_EQ(figureAtLeft, 0) << "figure pixels in column 0";

    // The hair (above the face, and behind the head) reads as lit strands, not as a
    // mass of dark holes: its median luma is 40 or more, and at most 3% of it are pits,
    // pixels under half the mean of the figure's 9x9 square around them.
    auto luma = [&](int x, int y) {
        return 0.299 * red(b.get(), x, y) + 0.587 * green(b.get(), x, y) +
               0.114 * blue(b.get(), x, y);
    };
    std::vector<double> hair;
    int interior = 0, pits = 0;
    for (int y = 4; y < 300; ++y)
        for (int x = 4; x < 266; ++x) {
            if (red(b.get(), x, y) > 30 || (y >= 140 && x >= 135))
                continue;
            const double l = luma(x, y);
            hair.push_back(l);
            double sum = 0.0;
            bool whole = true;
            for (int j = -4; j <= 4 && whole; ++j)
                for (int i = -4; i <= 4 && whole; ++i) {
                    whole = red(b.get(), x + i, y + j) <= 30;
                    sum += luma(x + i, y + j);
                }
            if (!whole)
                continue;
            ++interior;
            pits += l < 0.5 * sum / 81.0;
        }
    ASSERT_GT(interior, 10000);
    std::nth_element(hair.begin(), hair.begin() + static_cast<long>(hair.size() / 2), hair.end());
    EXPECT_GE(hair[hair.size() / 2], 40.0) << "median hair luma";
    EXPECT_LE(pits, interior * 3 / 100) << pits << " pits in " << interior << " hair pixels";
    // Nor is its outline a dark seam against the white: over the hair of the top left
    // (rows 0-239, columns 0-199) at most 3% lie under half the mean luma (Rec. 709) of
    // their whole 9x9 square, background included.
    auto luma709 = [&](int x, int y) {
        return 0.2126 * red(b.get(), x, y) + 0.7152 * green(b.get(), x, y) +
               0.0722 * blue(b.get(), x, y);
    };
    int topHair = 0, topPits = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 200; ++x) {
            const double l = luma709(x, y);
            if (red(b.get(), x, y) > 30 || l >= 250)
                continue;
            double sum = 0.0;
            for (int j = -4; j <= 4; ++j)
                for (int i = -4; i <= 4; ++i)
                    sum += luma709(std::clamp(x + i, 0, 269), std::clamp(y + j, 0, 479));
            ++topHair;
            topPits += l < 0.5 * sum / 81.0;
        }
    ASSERT_GT(topHair, 10000);
    EXPECT_LE(topPits, topHair * 3 / 100) << topPits << " pits in " << topHair << " hair pixels";
}

TEST_F(Artwork, FaceReliefHasDarkBackgroundAndRaisedFace)
{
    Bmp f1 = load("face1.jpg");
    ASSERT_TRUE(f1);
    // Corners are background: no dashes there.
    const int corners[][2] = {{0, 0}, {255, 0}, {0, 255}, {255, 255}, {10, 128}, {245, 40}};
    for (auto& c : corners)
        EXPECT_LE(red(f1.get(), c[0], c[1]), 60) << c[0] << "," << c[1];
    int background = 0, raised = 0, raisedAtRim = 0, barelyRaised = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int r = red(f1.get(), x, y);
            if (r <= 60)
                ++background;
            if (r > 60)
                ++raised;
            // A pixel just over the threshold is shifted far less than its
            // neighbours: a stray dash off the outline, or one tooth of a
            // comb where the height runs down through the threshold.
            if (r > 60 && r < 90)
                ++barelyRaised;
            // The picture turns: whatever is raised near the rim of its disc
            // (the neck) would show as a cut edge sweeping round.
            double dx = x + 0.5 - 128, dy = y + 0.5 - 128;
            if (r > 60 && dx * dx + dy * dy >= 122.0 * 122.0)
                ++raisedAtRim;
        }
    EXPECT_EQ(raisedAtRim, 0);
    EXPECT_EQ(barelyRaised, 0) << "the head must end on one clean drop to the background";
    // The face fills a good part of the picture and the centre is raised.
    EXPECT_GT(raised, 256 * 256 / 4);
    EXPECT_GT(background, 256 * 256 / 8);
    EXPECT_GT(red(f1.get(), 128, 128), 60);
    // The relief shifts each dash left by its packed value / 150000 (about 0.44 x red):
    // crowded into a few levels the head moves as one flat block, so from the 1st to
    // the 99th percentile the shifts span 45 pixels or more.
    auto shift = [&](int x, int y) { return static_cast<int>(getpixel(f1.get(), x, y) / 150000); };
    std::vector<int> shifts;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (red(f1.get(), x, y) > 60)
                shifts.push_back(shift(x, y));
    std::sort(shifts.begin(), shifts.end());
    const int p1 = shifts[shifts.size() / 100], p99 = shifts[shifts.size() * 99 / 100];
    EXPECT_GE(p99 - p1, 45) << "shift " << p1 << ".." << p99
                            << " px from the 1st to the 99th percentile";
    // Yet in broad forms: where the shift changes by more than a pixel per pixel, a dash
    // overtakes its neighbour and features fold away. At most a quarter of the head's
    // interior (3 px in from the outline) slopes that steeply.
    int interior = 0, steep = 0;
    for (int y = 4; y < 252; ++y)
        for (int x = 4; x < 252; ++x) {
            bool inside = true;
            for (int j = -3; j <= 3 && inside; ++j)
                for (int i = -3; i <= 3 && inside; ++i)
                    inside = std::abs(i) + std::abs(j) > 3 || red(f1.get(), x + i, y + j) > 60;
            if (!inside)
                continue;
            ++interior;
            const double gx = (shift(x + 1, y) - shift(x - 1, y)) / 2.0,
                         gy = (shift(x, y + 1) - shift(x, y - 1)) / 2.0;
            steep += std::hypot(gx, gy) > 1.0;
        }
    ASSERT_GT(interior, 256 * 256 / 5);
    EXPECT_LE(steep, interior / 4)
        << steep << " of " << interior << " interior pixels slope over 1 px per px";
}

// The helix scene stretches the beach 2.5x: a cloud band with hard edges across
// the moon becomes a flat slab. Averaged across the moon's middle columns, its
// brightness changes by at most 15 levels from one row to the next.
TEST_F(Artwork, CloudOverTheMoonIsFeathered)
{
    Bmp b = load("tolmo.jpg");
    ASSERT_TRUE(b);
    double previous = -1.0, steepest = 0.0;
    for (int y = 90; y < 156; ++y) {
        double sum = 0.0;
        for (int x = 194; x < 235; ++x)
            sum += 0.299 * red(b.get(), x, y) + 0.587 * green(b.get(), x, y) +
                   0.114 * blue(b.get(), x, y);
        const double row = sum / 41.0;
        if (previous >= 0)
            steepest = std::max(steepest, std::fabs(row - previous));
        previous = row;
    }
    EXPECT_LE(steepest, 15.0);
}

TEST_F(Artwork, FaceColourLinesUpWithTheRelief)
{
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

    // Not one plastic colour: the lit skin left of the nose is cool (hue 150..260
    // degrees) and right of it warm (300..360 or 0..60), their mean hues 30 or more apart.
    auto meanHue = [&](int x0, int x1) {
        double sx = 0, sy = 0;
        for (int y = 96; y < 215; ++y)
            for (int x = x0; x < x1; ++x) {
                const double r = red(f2.get(), x, y) / 255.0, g = green(f2.get(), x, y) / 255.0,
                             b = blue(f2.get(), x, y) / 255.0;
                const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
                if (red(f1.get(), x, y) <= 60 || 0.299 * r + 0.587 * g + 0.114 * b < 60 / 255.0 ||
                    hi - lo < 1e-6)
                    continue;
                double h = hi == r   ? std::fmod((g - b) / (hi - lo) + 6.0, 6.0)
                           : hi == g ? (b - r) / (hi - lo) + 2
                                     : (r - g) / (hi - lo) + 4;
                sx += std::cos(h * M_PI / 3), sy += std::sin(h * M_PI / 3);
            }
        return std::fmod(std::atan2(sy, sx) * 180 / M_PI + 360, 360);
    };
    // Yet the two lights meet softly: over the lit head (luma over 60), at most 7% of the
    // pixels step by more than 40 in warmth (red less blue) to the pixel 3 to their right.
    auto warmth = [&](int x, int y) { return red(f2.get(), x, y) - blue(f2.get(), x, y); };
    auto lit = [&](int x, int y) {
        return red(f1.get(), x, y) > 60 && 0.2126 * red(f2.get(), x, y) +
                                                   0.7152 * green(f2.get(), x, y) +
                                                   0.0722 * blue(f2.get(), x, y) >
                                               60;
    };
    int litSkin = 0, warmthSteps = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x + 3 < 256; ++x)
            if (lit(x, y)) {
                ++litSkin;
                warmthSteps += lit(x + 3, y) && std::abs(warmth(x + 3, y) - warmth(x, y)) > 40;
            }
    EXPECT_LE(warmthSteps, litSkin * 7 / 100) << warmthSteps << " steps in " << litSkin;

    const double cool = meanHue(0, 112), warm = meanHue(150, 256);
    EXPECT_TRUE(cool >= 150 && cool <= 260) << "left " << cool;
    EXPECT_TRUE(warm >= 300 || warm <= 60) << "right " << warm;
    EXPECT_GE(std::min(std::fabs(cool - warm), 360 - std::fabs(cool - warm)), 30.0);
}

// Colour distance between two pixels, summed over the channels.
int step(BITMAP* b, int x0, int y0, int x1, int y1)
{
    return std::abs(red(b, x0, y0) - red(b, x1, y1)) +
           std::abs(green(b, x0, y0) - green(b, x1, y1)) +
           std::abs(blue(b, x0, y0) - blue(b, x1, y1));
}

TEST_F(Artwork, TunnelWallTilesWithoutSeam)
{
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

TEST_F(Artwork, TunnelScenePulsesOnTheEighthNote)
{
    // The tunnel moves 2.56 wall columns a frame and an eighth note of the
    // tune lasts 20 frames. Over loop:1281-1340 of the real show the frame's
    // mean brightness either stays within 20 levels or repeats every 20
    // frames (19..21): rings every 32 columns would pulse every 12.5.
    // Each of the scene's three visits (loop:481-639, 1281-1439, 1921-2079) is kept too.
    std::vector<double> mean;
    std::vector<std::vector<double>> visits(3);
    const long visitStart[3] = {481, 1281, 1921};
    SpyHost host;
    host.on_iteration = [&](BITMAP* b, Phase p, long n) {
        if (p != Phase::Loop)
            return;
        int visit = -1;
        for (int v = 0; v < 3; ++v)
            if (n >= visitStart[v] && n < visitStart[v] + 159)
                visit = v;
        if (visit < 0)
            return;
        double sum = 0;
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x)
                sum += red(b, x, y) + green(b, x, y) + blue(b, x, y);
        visits[static_cast<size_t>(visit)].push_back(sum / (3.0 * b->w * b->h));
        if (n >= 1281 && n <= 1340)
            mean.push_back(visits[static_cast<size_t>(visit)].back());
    };
    host.esc = [](const SpyHost& h) {
        return h.phase() == Phase::Loop && h.phase_iteration() >= 2079;
    };
    ProbeResult probe;
    probe.pictures = decoded_pictures(ARTWORK_DIR);
    run_show(host, ARTWORK_DIR, probe);
    ASSERT_EQ(mean.size(), 60u);
    const double swing =
        *std::max_element(mean.begin(), mean.end()) - *std::min_element(mean.begin(), mean.end());
    // The lag over which the series repeats best: the least mean change.
    int period = 0;
    double least = 1e9;
    for (int lag = 8; lag <= 30; ++lag) {
        double change = 0;
        for (size_t i = 0; i + lag < mean.size(); ++i)
            change += std::fabs(mean[i + lag] - mean[i]);
        change /= static_cast<double>(mean.size() - lag);
        if (change < least) {
            least = change;
            period = lag;
        }
    }
    const bool repeats = period >= 19 && period <= 21 && least <= swing / 4;
    EXPECT_TRUE(swing <= 20 || repeats)
        << "brightness swings " << swing << ", repeating best every " << period
        << " frames (mean change " << least << ")";
    // One pulse per eighth note, not two: the series half a period on (10 frames) is
    // unlike itself, its autocorrelation there at most 0.2 of that at lag 0 ...
    double average = 0;
    for (double m : mean)
        average += m / static_cast<double>(mean.size());
    double lag0 = 0, lag10 = 0;
    for (size_t i = 0; i < mean.size(); ++i) {
        lag0 += (mean[i] - average) * (mean[i] - average);
        if (i + 10 < mean.size())
            lag10 += (mean[i] - average) * (mean[i + 10] - average);
    }
    EXPECT_LE(lag10, 0.2 * lag0) << "autocorrelation at lag 10: " << lag10 / lag0;
    // So it is over every whole visit.
    for (const std::vector<double>& v : visits) {
        ASSERT_EQ(v.size(), 159u);
        double vAverage = 0, vLag0 = 0, vLag10 = 0;
        for (double m : v)
            vAverage += m / static_cast<double>(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            vLag0 += (v[i] - vAverage) * (v[i] - vAverage);
            if (i + 10 < v.size())
                vLag10 += (v[i] - vAverage) * (v[i + 10] - vAverage);
        }
        EXPECT_LE(vLag10, 0.2 * vLag0) << "visit " << &v - visits.data() + 1
                                       << ": autocorrelation at lag 10 " << vLag10 / vLag0;
    }
    // ... and its peaks fall on the eighth notes' beat (frames 1300 and 1320), give or take one frame.
    for (int beat : {1300, 1320}) {
        int peak = beat - 9;
        for (int n = beat - 9; n <= beat + 9; ++n)
            if (mean[static_cast<size_t>(n - 1281)] > mean[static_cast<size_t>(peak - 1281)])
                peak = n;
        EXPECT_LE(std::abs(peak - beat), 1)
            << "the pulse near frame " << beat << " peaks at " << peak;
    }
}

TEST_F(Artwork, CreditsStandOutFromTheLogoBehindThem)
{
    // The credits are stamped as light cyan cells over the smeared logo. At
    // fade:190, the last line stamped, every line's cells (cyan: green and blue
    // 40 over red) are 3 times as bright as the picture between them (pixels
    // 4 or more away from any cell), on the line's own rows.
    std::vector<uint32_t> frame;
    int w = 0, h = 0;
    SpyHost host;
    host.on_iteration = [&](BITMAP* b, Phase p, long n) {
        if (p != Phase::Fade || n != 190)
            return;
        w = b->w, h = b->h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame.push_back(static_cast<uint32_t>(getpixel(b, x, y)));
    };
    host.esc = [](const SpyHost& hh) {
        return hh.phase() == Phase::Fade && hh.phase_iteration() >= 190;
    };
    ProbeResult probe;
    probe.pictures = decoded_pictures(ARTWORK_DIR);
    run_show(host, ARTWORK_DIR, probe);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    auto at = [&](int x, int y) { return frame[static_cast<size_t>(y) * w + x]; };
    auto luma = [&](int x, int y) {
        const uint32_t c = at(x, y);
        return 0.299 * ((c >> 16) & 255) + 0.587 * ((c >> 8) & 255) + 0.114 * (c & 255);
    };
    auto cyan = [&](int x, int y) {
        const int r = (at(x, y) >> 16) & 255, g = (at(x, y) >> 8) & 255, b = at(x, y) & 255;
        return g - r > 40 && b - r > 40;
    };
    for (int line = 0; line < 4; ++line) {
        double cells = 0, between = 0;
        int nCells = 0, nBetween = 0;
        for (int y = 104 + 64 * line; y < 168 + 64 * line; ++y)
            for (int x = 130; x < 560; ++x) {
                if (cyan(x, y)) {
                    cells += luma(x, y), ++nCells;
                    continue;
                }
                bool near = false;
                for (int j = -3; j <= 3 && !near; ++j)
                    for (int i = -3; i <= 3 && !near; ++i)
                        near = std::abs(i) + std::abs(j) <= 3 && cyan(x + i, y + j);
                if (!near)
                    between += luma(x, y), ++nBetween;
            }
        ASSERT_GT(nCells, 1000) << "line " << line + 1;
        ASSERT_GT(nBetween, 1000) << "line " << line + 1;
        EXPECT_GE((cells / nCells + 5) / (between / nBetween + 5), 3.0) << "line " << line + 1;
    }
}

TEST_F(Artwork, LogoOutlastsTheIntroSmear)
{
    // The intro smears the logo away over 300 shown frames. A bright word (mean luma 45 or
    // more) stays in view for at least 3.1 s of them: 182 shown frames whose 99.5th
    // percentile of luma (Rec. 709) is 16 or more.
    Bmp logo = load("logo.jpg");
    ASSERT_TRUE(logo);
    auto luma = [](int c) { return 0.2126 * getr32(c) + 0.7152 * getg32(c) + 0.0722 * getb32(c); };
    double sum = 0;
    for (int y = 0; y < logo->h; ++y)
        for (int x = 0; x < logo->w; ++x)
            sum += luma(getpixel(logo.get(), x, y));
    EXPECT_GE(sum / (logo->w * logo->h), 45.0) << "mean luma of the logo";

    int visible = 0;
    SpyHost host;
    host.on_iteration = [&](BITMAP* b, Phase p, long n) {
        if (p != Phase::Smear || n % 2 != 0)
            return;
        std::vector<double> l;
        l.reserve(static_cast<size_t>(b->w * b->h));
        for (int y = 0; y < b->h; ++y)
            for (int x = 0; x < b->w; ++x)
                l.push_back(luma(getpixel(b, x, y)));
        const size_t k = l.size() * 995 / 1000;
        std::nth_element(l.begin(), l.begin() + static_cast<long>(k), l.end());
        visible += l[k] >= 16.0;
    };
    host.esc = [](const SpyHost& h) { return h.phase() == Phase::Loop; };
    ProbeResult probe;
    probe.pictures = decoded_pictures(ARTWORK_DIR);
    run_show(host, ARTWORK_DIR, probe);
    EXPECT_GE(visible, 182) << "shown smear frames with the logo in view, of 300";
}

TEST_F(Artwork, TitleSunStaysInViewOfTheStairs)
{
    // The title scene bobs the picture by 40 x s (s = -1..1) and draws a
    // staircase of twenty stretched steps over its middle, bobbing with it;
    // the steps glide by their slide phase p (0..21). The sun's disc and glow
    // (red over 200 and green over 120, above row 280) is large, 15,000 pixels
    // or more, and for every bob and slide 95% of it stays on screen (rows
    // 81..399) and clear of every step and riser.
    Bmp b = load("ruvo2.jpg");
    ASSERT_TRUE(b);
    std::vector<std::pair<int, int>> sun;
    for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 640; ++x)
            if (red(b.get(), x, y) > 200 && green(b.get(), x, y) > 120)
                sun.emplace_back(x, y);
    EXPECT_GE(sun.size(), 15000u);
    double worst = 1.0;
    for (int i = -20; i <= 20; ++i) {
        const double s = i / 20.0;
        for (int p : {0, 7, 14, 21}) {
            int seen = 0;
            for (const auto& px : sun) {
                const int x = px.first, row = px.second + static_cast<int>(40 * s);
                bool hidden = row < 81 || row > 399;
                for (int k = 0; k < 20 && !hidden; ++k) {
                    const int X = 300 - 5 * k - p / 4, W = static_cast<int>(7.9 * k + 60 + p / 2);
                    const int Y = static_cast<int>(40 * s + 110 + k * k + (p * k) / 10),
                              H = 4 * k + 8;
                    hidden = x >= X && x < X + W && row >= Y && row < Y + H;
                    if (k > 10 && !hidden) {
                        const int W2 = 10 * k + p / 2 + 30, H2 = 2 * k - 20, Y2 = Y - H2 + 1;
                        hidden = x >= X && x < X + W2 && row >= Y2 && row < Y2 + H2;
                    }
                }
                seen += !hidden;
            }
            worst = std::min(worst, static_cast<double>(seen) / static_cast<double>(sun.size()));
        }
    }
    EXPECT_GE(worst, 0.95);
}

TEST_F(Artwork, CityCardsMeetSideBySideWithoutABorder)
{
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
            for (int y = 0; y < H; ++y)
                sum += step(b.get(), (first + i) % W, y, (first + i + 1) % W, y);
        return sum / H;
    };
    double busiest = 0;
    for (int x = 4; x + 8 <= W - 4; ++x)
        busiest = std::max(busiest, strip(x));
    EXPECT_LT(strip(W - 4), busiest) << "the join is busier than any strip inside the picture";
}

TEST_F(Artwork, SpritesUseExactMagentaAsTheMask)
{
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
                if (p == magenta)
                    continue;
                bool nearMagenta = getr32(p) > 230 && getg32(p) < 25 && getb32(p) > 230;
                EXPECT_FALSE(nearMagenta) << x << "," << y;
            }
    // The tread has no mask pixels at all: it is blended whole.
    Bmp stair = load("porras.bmp");
    ASSERT_TRUE(stair);
    for (int y = 0; y < stair->h; ++y)
        for (int x = 0; x < stair->w; ++x)
            ASSERT_NE(getpixel(stair.get(), x, y), magenta);
}

}  // namespace
