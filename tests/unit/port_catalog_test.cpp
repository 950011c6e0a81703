#include "link/port_catalog.h"

#include <gtest/gtest.h>

using veltra::link::PortCatalog;
using veltra::link::PortEntry;

namespace {

PortCatalog::DeviceLister listing(QStringList devices) {
    return [devices] { return devices; };
}

// The device-path naming of Linux, chosen explicitly so the rules are checked on every platform.
constexpr auto paths = PortCatalog::Naming::DevicePaths;

} // namespace

TEST(PortCatalog, SystemDevicesGetNumbersInPathOrder) {
    const PortCatalog catalog(
        {}, listing({"/dev/ttyUSB0", "/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyUSB0"}), paths);
    EXPECT_EQ(catalog.deviceName(1), "/dev/rfcomm0");
    EXPECT_EQ(catalog.deviceName(2), "/dev/ttyACM0");
    EXPECT_EQ(catalog.deviceName(3), "/dev/ttyUSB0");
    EXPECT_EQ(catalog.deviceName(4), "");
    EXPECT_EQ(catalog.entries().size(), 3U);
}

TEST(PortCatalog, PinsWinAndTheirPathsAndNumbersAreSkipped) {
    const PortCatalog catalog({{1, "/dev/ttyUSB0"}, {3, "/dev/rfcomm0"}},
                              listing({"/dev/rfcomm0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyS1"}),
                              paths);
    const std::vector<PortEntry> expected = {
        {1, "/dev/ttyUSB0", true},
        {2, "/dev/ttyS0", false},
        {3, "/dev/rfcomm0", true},
        {4, "/dev/ttyS1", false},
    };
    EXPECT_EQ(catalog.entries(), expected);
}

TEST(PortCatalog, PinnedDeviceNeedNotBeListed) {
    const PortCatalog catalog({{7, "/tmp/instrument"}}, listing({}), paths);
    EXPECT_EQ(catalog.deviceName(7), "/tmp/instrument");
    EXPECT_EQ(catalog.deviceName(1), "");
}

TEST(PortCatalog, NumbersOutsideTheRangeStandForNothing) {
    const PortCatalog catalog({{0, "/dev/a"}, {256, "/dev/b"}, {5, ""}}, listing({"/dev/ttyS0"}),
                              paths);
    EXPECT_EQ(catalog.deviceName(0), "");
    EXPECT_EQ(catalog.deviceName(256), "");
    EXPECT_EQ(catalog.deviceName(-1), "");
    EXPECT_EQ(catalog.deviceName(1), "/dev/ttyS0");
    EXPECT_EQ(catalog.deviceName(5), ""); // the empty pin was dropped
    EXPECT_TRUE(catalog.pins().empty());
}

TEST(PortCatalog, ComNamingCoversEveryNumber) {
    const PortCatalog catalog({}, listing({}), PortCatalog::Naming::ComNames);
    EXPECT_EQ(catalog.deviceName(1), "COM1");
    EXPECT_EQ(catalog.deviceName(255), "COM255");
    EXPECT_EQ(catalog.entries().size(), 255U);
}

TEST(PortCatalog, RefreshSeesANewAdapter) {
    auto devices = std::make_shared<QStringList>(QStringList{"/dev/ttyS0"});
    PortCatalog catalog(
        {}, [devices] { return *devices; }, paths);
    EXPECT_EQ(catalog.deviceName(2), "");
    devices->append("/dev/ttyUSB0");
    catalog.refresh();
    EXPECT_EQ(catalog.deviceName(2), "/dev/ttyUSB0");
}
