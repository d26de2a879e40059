#ifndef MSISETUP_TESTS_FAKE_INSTALLER_RUN_H
#define MSISETUP_TESTS_FAKE_INSTALLER_RUN_H

#include "launch_settings.h"

// Stands in for run_installer in the unit tests: counts the calls, keeps the settings of the
// last one and returns `result`.
struct fake_installer_run {
    int calls;
    launch_settings last;
    int result;
};

extern fake_installer_run fake_run;

#endif
