// Every geometry operation on real photographs, decoded by Qt, against the
// plain definitions: landscape, portrait, scaled, single rows and columns.
#include <QImage>
#include <QString>

#include "geometry_test_support.h"

using geometry::SamePixels;

namespace {

QImage Photograph()
{
    static const QImage photo(QString::fromStdString(vxtest::TestData("jpeg/exif-orientation-examples/Landscape_1.jpg")));
    return photo;
}

CVelvix FromQt(const QImage& picture)
{
    CVelvix image;
    image.CreateImage(nullptr, picture);
    return image;
}

// Crops at full resolution keep the photograph's real pixel texture.
std::vector<CVelvix> Pictures()
{
    const QImage photo = Photograph();
    return {
        FromQt(photo.copy(700, 400, 320, 240)),
        FromQt(photo.copy(900, 300, 150, 260)),
        FromQt(photo.scaled(180, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
        FromQt(photo.copy(1000, 200, 1, 200)),
        FromQt(photo.copy(500, 600, 200, 1)),
    };
}

} // namespace

class PhotoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Photograph().isNull())
            GTEST_SKIP() << "test photograph not found";
        pictures = Pictures();
        for (CVelvix& picture : pictures)
            ASSERT_TRUE(picture.IsValidObject());
    }
    std::vector<CVelvix> pictures;
};

TEST_F(PhotoTest, ResamplingEqualsTheDefinition)
{
    for (CVelvix& source : pictures) {
        const int w = source.GetWidth(), h = source.GetHeight();
        for (auto [tw, th] : {std::pair{w / 2 + 1, h / 2 + 1}, std::pair{w * 2, h * 2}, std::pair{w * 3 / 4 + 1, h + 7}}) {
            CVelvix image = source;
            image.Resample_Bilinear(th, tw, false);
            CVelvix expected = oracle::Resample(source, th, tw, false, false);
            ASSERT_TRUE(SamePixels(expected, image)) << geometry::Name(source) << " to " << tw << "x" << th;
            image = source;
            image.Resample_BSpline(th, tw);
            expected = oracle::Resample(source, th, tw, false, true);
            ASSERT_TRUE(SamePixels(expected, image)) << "B-spline " << geometry::Name(source);
        }
    }
}

TEST_F(PhotoTest, RotationsAndFlipsEqualTheDefinition)
{
    for (CVelvix& source : pictures) {
        for (bool flag : {false, true}) {
            CVelvix image = source;
            image.SimpleRotate(flag);
            CVelvix expected = oracle::SimpleRotate(source, flag);
            ASSERT_TRUE(SamePixels(expected, image)) << geometry::Name(source);
            image = source;
            image.SimpleFlip(flag);
            expected = oracle::SimpleFlip(source, flag);
            ASSERT_TRUE(SamePixels(expected, image)) << geometry::Name(source);
        }
        for (int angle : {45, -100}) {
            for (int method : {0, 1}) {
                CVelvix image = source;
                image.RotateAngle(angle, method);
                CVelvix expected = oracle::RotateAngle(source, angle, method);
                ASSERT_TRUE(SamePixels(expected, image)) << geometry::Name(source) << " " << angle << " " << method;
            }
        }
    }
}

TEST_F(PhotoTest, DistortionsEqualTheDefinition)
{
    for (CVelvix& source : pictures) {
        struct Case {
            const char* name;
            void (*run)(CVelvix&);
            CVelvix (*expected)(CVelvix);
        };
        const Case cases[] = {
            {"fish eye", [](CVelvix& i) { i.FishEyeEffect(); }, oracle::FishEye},
            {"swirl", [](CVelvix& i) { i.SwirlEffect(100); }, [](CVelvix s) { return oracle::Swirl(s, 100); }},
            {"caricature", [](CVelvix& i) { i.Caricature(); }, oracle::Caricature},
            {"cylinder mirror", [](CVelvix& i) { i.CylinderMirror(); }, oracle::CylinderMirror},
            {"bathroom window 1", [](CVelvix& i) { i.BathroomWindowEffect1(); }, oracle::BathroomWindow1},
            {"bathroom window 2", [](CVelvix& i) { i.BathroomWindowEffect2(); }, oracle::BathroomWindow2},
            {"underwater", [](CVelvix& i) { i.UnderWater(15); }, [](CVelvix s) { return oracle::UnderWater(s, 15); }},
            {"solarization", [](CVelvix& i) { i.ImageSolarization(); }, oracle::Solarization},
            {"relief map", [](CVelvix& i) { i.ReliefMap(); }, oracle::Relief},
            {"oil paint 2", [](CVelvix& i) { i.OilPaint(2); }, [](CVelvix s) { return oracle::OilPaint(s, 2); }},
            {"oil paint 5", [](CVelvix& i) { i.OilPaint(5); }, [](CVelvix s) { return oracle::OilPaint(s, 5); }},
        };
        for (const Case& c : cases) {
            CVelvix image = source;
            c.run(image);
            CVelvix expected = c.expected(source);
            ASSERT_TRUE(SamePixels(expected, image)) << c.name << " on " << geometry::Name(source);
        }
    }
}

TEST_F(PhotoTest, RedEyeOnAPhotographEqualsTheDefinition)
{
    for (CVelvix& source : pictures) {
        CVelvix image = source;
        image.RedEyeReduce();
        CVelvix expected = oracle::RedEye(source);
        ASSERT_TRUE(SamePixels(expected, image)) << geometry::Name(source);

        // A red pupil painted at the centre, with a fringe that fades into
        // the photograph.
        CVelvix eye = source;
        const int cx = eye.GetWidth() / 2, cy = eye.GetHeight() / 2;
        for (int y = 0; y < eye.GetHeight(); ++y)
            for (int x = 0; x < eye.GetWidth(); ++x) {
                const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (d2 <= 36)
                    eye.Bytes(x, y) = 0xD02018;
                else if (d2 <= 64)
                    eye.Bytes(x, y) = (eye.Bytes(x, y) & 0x3F3F3F) | 0x900000;
            }
        CVelvix fixed = eye;
        fixed.RedEyeReduce();
        expected = oracle::RedEye(eye);
        ASSERT_TRUE(SamePixels(expected, fixed)) << "painted pupil on " << geometry::Name(source);
        // On a single row or column each ring meets at most two pixels, so the
        // growth stops at ring 3; wider pictures get the whole pupil.
        if (eye.GetWidth() < 20 || eye.GetHeight() < 20)
            continue;
        const VxPixel lowered = VxPixel(int(0x18 * 0.29 + 0x20 * 0.29 + 0xD0 * 0.42)) << 16 | 0x2018u;
        for (int y = 0; y < eye.GetHeight(); ++y)
            for (int x = 0; x < eye.GetWidth(); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 36)
                    ASSERT_EQ(fixed.Bytes(x, y), lowered) << "the whole pupil, " << x << "," << y;
    }
}
