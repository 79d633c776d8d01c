#pragma once

#include <gtest/gtest.h>

#include "app/Tunelark.h"

// Creates the program's windows as start-up does before each test and
// destroys them after it. The application object lives for the whole run
// (app_environment.cpp).
class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateForms(); }
  void TearDown() override { DestroyForms(); }
};
