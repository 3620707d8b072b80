#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "ui/AppIcon.h"

namespace korbelt {
namespace {

TEST(AppIcon, HoldsTheThirtyTwoPixelImage) {
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
}

TEST(AppIcon, BothImagesAreCompiledIn) {
    EXPECT_TRUE(QFile::exists(kAppIconPng));
    QFile svg(kAppIconSvg);
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("viewBox=\"0 0 32 32\""));
}

TEST(AppIcon, ThePageSitsOnATransparentGround) {
    const QImage image(kAppIconPng);
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(31, 31).alpha(), 0);
    EXPECT_EQ(image.pixelColor(16, 27).alpha(), 255) << "inside the page";
}

}  // namespace
}  // namespace korbelt
