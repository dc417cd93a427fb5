// The main of every window test program: GoogleTest with a wx application on the private test
// display. The display and the application are made only when tests run, never for the test
// listing that CTest asks for at build time.

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdlib>

#include "XDisplay.h"

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override {
        // Messages of wx go to the test's output, never into a window that waits for somebody.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        return true;
    }
    // A failed wx assertion fails the test instead of waiting for somebody to answer its dialog.
    void OnAssertFailure(const wxChar* file, int line, const wxChar* function, const wxChar* condition,
                         const wxChar* message) override {
        ADD_FAILURE() << "wx assertion failed at " << wxString(file) << ":" << line << " in " << wxString(function)
                      << ": " << wxString(condition) << " " << wxString(message);
    }
};

class WxEnvironment : public testing::Environment {
public:
    WxEnvironment(int argc, char** argv) : argc_(argc), argv_(argv) {}
    void SetUp() override {
        if (!DisplayAvailable())
            return;
        wxApp::SetInstance(new TestApp);
        started_ = wxEntryStart(argc_, argv_) && wxTheApp->CallOnInit();
    }
    void TearDown() override {
        if (started_) {
            wxTheApp->OnExit();
            wxEntryCleanup();
        }
    }

private:
    int argc_;
    char** argv_;
    bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new WxEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
