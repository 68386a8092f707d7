#pragma once
#include "core.h"  // NOLINT(misc-include-cleaner)
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>
