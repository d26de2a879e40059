#include "fake_installer_run.h"

#include "installer_run.h"

fake_installer_run fake_run;

int run_installer(const launch_settings& settings) {
    ++fake_run.calls;
    fake_run.last = settings;
    return fake_run.result;
}
