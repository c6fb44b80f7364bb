// Shared main of the test executables: one QApplication for the whole run, and
// the environment every test starts from, whatever the caller's was.
#include "device/loader/devicelibrary.h"
#include "platform/profile.h"
#include "testutil.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Before every test: the simulator as fast as it goes on its default scene,
// no profile file, the run's own working folder. A test that needs another
// speed, a scene or a profile sets it itself; what an earlier test of the
// same process set (or left behind when it failed) is gone.
class TestEnvironmentReset : public ::testing::EmptyTestEventListener {
public:
    explicit TestEnvironmentReset(std::string folder) : m_folder(std::move(folder)) {}
    void OnTestStart(const ::testing::TestInfo&) override {
        setenv("TORVEL_SIM_SPEED", "0", 1);
        unsetenv("TORVEL_SIM_SCENE");
        SetProfileFile(nullptr);
        if (chdir(m_folder.c_str()) != 0)
            ADD_FAILURE() << "cannot enter the run's folder " << m_folder;
    }

private:
    std::string m_folder;
};

} // namespace

int main(int argc, char** argv) {
    // The run's own folder: the working folder of tests that set none, and the
    // toolkit's runtime folder (single-instance locks and sockets), so that
    // runs side by side never meet and nothing is left in the caller's.
    TempDir run;
    const std::string runtime = run.file("runtime");
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // Drawing is checked in memory images: no display is used, even when one
    // is there.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TORVEL_SIM_SPEED", "0", 1);
    unsetenv("TORVEL_SIM_SCENE");
    int status = 0;
    {
        QApplication app(argc, argv);
        // TORVEL_TEST_DEVICE: the device library the whole run uses, chosen as
        // --device chooses it ("soapy:driver=torveltest"); unset = the
        // simulator. The tests that run this way are device-independent.
        if (const char* device = std::getenv("TORVEL_TEST_DEVICE"); device && *device) {
            std::string problem;
            if (!torveldevice::LoadDeviceLibrary(device, 0.0, &problem)) {
                std::fprintf(stderr, "TORVEL_TEST_DEVICE: %s\n", problem.c_str());
                return 1;
            }
        }
        ::testing::InitGoogleTest(&argc, argv);
        ::testing::UnitTest::GetInstance()->listeners().Append(
            new TestEnvironmentReset(run.path()));
        status = RUN_ALL_TESTS();
        // A run on a chosen device ends on it: no test quietly measured with
        // another one.
        if (const char* device = std::getenv("TORVEL_TEST_DEVICE");
            device && *device && torveldevice::LoadedDeviceChoice() != device) {
            std::fprintf(stderr, "TORVEL_TEST_DEVICE: the run ended on \"%s\"\n",
                         torveldevice::LoadedDeviceChoice().c_str());
            status = 1;
        }
    }
    return status;
}
