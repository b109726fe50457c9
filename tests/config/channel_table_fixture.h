// A channel table over a settings file of the test's own, for the tests of the table and of
// the settings it reads.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "program/program.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"

class ChannelTableTest : public ::testing::Test {
  protected:
    void Load(const std::string& contents) {
        testing_support::WriteFileBytes(settings, contents);
        table.LoadSettings();
    }

    testing_support::OverlayLogFile overlay;
    testing_support::TempDir dir;
    std::string settings = dir.File("zamri.ini");
    zamri::Program program;
    ChannelTable& table = program.Table();

    void SetUp() override { table.SetSettingsPath(settings.c_str()); }
};
