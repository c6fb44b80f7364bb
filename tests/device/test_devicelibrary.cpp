// The device library is loaded by name and its functions are called through
// one table; a library without all of them is refused and the simulator
// takes its place.
#include "device/TorvelAPI.h"
#include "device/loader/devicelibrary.h"

#include <gtest/gtest.h>

using namespace torveldevice;

TEST(DeviceLibrary, ChoicesNameTheirLibraryFile) {
    EXPECT_EQ(LibraryFileOf("simulator"), "libTorvelAPI.so");
    EXPECT_EQ(LibraryFileOf("soapy"), "libTorvelSoapy.so");
    EXPECT_EQ(LibraryFileOf("soapy:driver=rtlsdr,serial=1"), "libTorvelSoapy.so");
    EXPECT_EQ(LibraryFileOf("/opt/analyser/libTorvelAPI.so"), "/opt/analyser/libTorvelAPI.so");
    EXPECT_EQ(LibraryFileOf("rtlsdr"), "");
    EXPECT_EQ(LibraryFileOf(""), "");
    EXPECT_EQ(LibraryFileOf("soapyx"), "");
}

TEST(DeviceLibrary, TheSimulatorIsFoundByNameAndAnswersThroughTheTable) {
    std::string problem;
    ASSERT_TRUE(LoadDeviceLibrary("simulator", 0.0, &problem)) << problem;
    EXPECT_TRUE(problem.empty());
    EXPECT_EQ(LoadedDeviceChoice(), "simulator");
    EXPECT_EQ(LoadedDeviceDescription(), "analyser simulator");
    EXPECT_EQ(GetSerialNumber(), 20517);
    EXPECT_EQ(GetMaxAttenuation(), 50);
    // Loading it again (the link was open) shuts the old link first.
    ASSERT_EQ(InitTorvelDLL(0, kTorvelMessageBase), 1);
    ASSERT_TRUE(LoadDeviceLibrary("simulator", 0.0, &problem));
    EXPECT_EQ(NormalSpectrumAnalysis(0, 1, 100000, 0, 0, 1), 0);
    EXPECT_TRUE(TorvelErrorIsLinkLost(GetTorvelLastError()));
}

TEST(DeviceLibrary, ALibraryLackingAFunctionIsRefusedByNameAndTheSimulatorTakesOver) {
    std::string problem;
    EXPECT_FALSE(LoadDeviceLibrary(TORVEL_INCOMPLETE_DEVICE, 0.0, &problem));
    EXPECT_NE(problem.find("lacks the function ReceiveData"), std::string::npos) << problem;
    EXPECT_EQ(LoadedDeviceChoice(), "simulator");
    EXPECT_EQ(GetSerialNumber(), 20517);
}

TEST(DeviceLibrary, TheProfilesLevelOffsetIsANumberWithinItsRangeOrZero) {
    EXPECT_EQ(LevelOffsetOf("-12.5"), -12.5);
    EXPECT_EQ(LevelOffsetOf("200"), 200.0);
    for (const char* bad : {"nan", "-nan", "inf", "1e300", "200.1", "", "dB"})
        EXPECT_EQ(LevelOffsetOf(bad), 0.0) << bad;
}

TEST(DeviceLibrary, AMissingLibraryIsRefusedWithTheLoadersReason) {
    std::string problem;
    EXPECT_FALSE(LoadDeviceLibrary("/nonexistent/libTorvelAPI.so", 0.0, &problem));
    EXPECT_NE(problem.find("/nonexistent/libTorvelAPI.so"), std::string::npos) << problem;
    EXPECT_EQ(LoadedDeviceChoice(), "simulator");
    problem.clear();
    EXPECT_FALSE(LoadDeviceLibrary("bogus", 0.0, &problem));
    EXPECT_NE(problem.find("\"bogus\" is no device"), std::string::npos) << problem;
    // A file that is no library.
    problem.clear();
    EXPECT_FALSE(LoadDeviceLibrary(__FILE__, 0.0, &problem));
    EXPECT_NE(problem.find("cannot load the device library"), std::string::npos) << problem;
    EXPECT_EQ(LoadedDeviceChoice(), "simulator");
    problem.clear();
    EXPECT_FALSE(LoadDeviceLibrary("bogus", 0.0, &problem));
    EXPECT_NE(problem.find("\"bogus\" is no device"), std::string::npos) << problem;
}
