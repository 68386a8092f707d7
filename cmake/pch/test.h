#pragma once
#include "platform.h"  // NOLINT(misc-include-cleaner)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
