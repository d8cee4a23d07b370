// TIFF files read with the system libtiff into InterViews rasters.
#include <gtest/gtest.h>

#include "qirGuiTest.h"

#include "qirTiffImage.h"

#include <InterViews/raster.h>
#include <dlfcn.h>
#include <tiffio.h>

#include <cstdio>
#include <string>

namespace {

std::string TempPath(const char* name) {
    return std::string("/tmp/qir-tiff-") + std::to_string(getpid()) + "-" + name;
}

// 3 x 2, RGB, stored top row first: red green blue / white black grey.
std::string WriteSample() {
    std::string path = TempPath("sample.tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    const unsigned char rows[2][9] = {{255, 0, 0, 0, 255, 0, 0, 0, 255},
                                      {255, 255, 255, 0, 0, 0, 128, 128, 128}};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    for (int r = 0; r < 2; r++)
        TIFFWriteScanline(t, (void*)rows[r], r, 0);
    TIFFClose(t);
    return path;
}

TEST(TiffImage, LoadsPixelsWithRowZeroAtTheBottom) {
    qirgui::TheSession();
    std::string path = WriteSample();
    Raster* r = qirTiffImage::Load(path.c_str());
    ASSERT_NE(r, nullptr);
    Resource::ref(r);
    EXPECT_EQ(r->pwidth(), 3u);
    EXPECT_EQ(r->pheight(), 2u);
    struct {
        unsigned long x, y;
        float red, green, blue;
    } cases[] = {
        {0, 1, 1, 0, 0}, {1, 1, 0, 1, 0}, {2, 1, 0, 0, 1},   // top row
        {0, 0, 1, 1, 1}, {1, 0, 0, 0, 0}, {2, 0, 0.5, 0.5, 0.5},
    };
    for (const auto& c : cases) {
        ColorIntensity red, green, blue;
        float alpha;
        r->peek(c.x, c.y, red, green, blue, alpha);
        EXPECT_NEAR(red, c.red, 0.01) << c.x << "," << c.y;
        EXPECT_NEAR(green, c.green, 0.01) << c.x << "," << c.y;
        EXPECT_NEAR(blue, c.blue, 0.01) << c.x << "," << c.y;
        EXPECT_NEAR(alpha, 1, 0.01);
    }
    Resource::unref(r);
    remove(path.c_str());
}

TEST(TiffImage, UnreadableFilesGiveNoRaster) {
    qirgui::TheSession();
    std::string sample = WriteSample();
    std::string junk = TempPath("junk.tif"), cut = TempPath("cut.tif");
    FILE* f = fopen(junk.c_str(), "w");
    fputs("II*\0 this is no image", f);
    fclose(f);
    // A real header whose directory lies past the end of the file.
    FILE* in = fopen(sample.c_str(), "rb");
    char head[16];
    size_t n = fread(head, 1, sizeof head, in);
    fclose(in);
    f = fopen(cut.c_str(), "wb");
    fwrite(head, 1, n, f);
    fclose(f);
    for (const std::string& p : {std::string("/nonexistent/warning.tif"), junk, cut, std::string("")})
        EXPECT_EQ(qirTiffImage::Load(p.c_str()), nullptr) << p;
    EXPECT_EQ(qirTiffImage::Load(nullptr), nullptr);
    for (const std::string& p : {sample, junk, cut})
        remove(p.c_str());
}

// The library inside libinterviews.a carries an old libtiff of its own;
// the loader must run on the system one.
TEST(TiffImage, SystemLibtiffIsTheOneLinked) {
    for (const char* name : {"TIFFOpen", "TIFFReadRGBAImageOriented", "TIFFClose", "TIFFGetField"}) {
        void* sym = dlsym(RTLD_DEFAULT, name);
        ASSERT_NE(sym, nullptr) << name;
        Dl_info info;
        ASSERT_NE(dladdr(sym, &info), 0) << name;
        EXPECT_NE(std::string(info.dli_fname).find("libtiff.so"), std::string::npos)
            << name << " comes from " << info.dli_fname;
    }
}

}  // namespace
