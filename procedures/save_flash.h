// Saving the parameter block to the hub's flash, and the calibration report.
#pragma once

#include <cstdint>

constexpr std::uint8_t SaveModeReportOnly = 0;
constexpr std::uint8_t SaveModeVerified = 1;
constexpr std::uint8_t SaveModeQuick = 2;

constexpr std::uint8_t ReportMaskAcc1 = 0x01;
constexpr std::uint8_t ReportMaskGyro = 0x02;
constexpr std::uint8_t ReportMaskAcc2 = 0x04;
constexpr std::uint8_t ReportMaskLight = 0x08;
constexpr std::uint8_t ReportMaskCompass = 0x10;
constexpr std::uint8_t ReportMaskColor = 0x20;
constexpr std::uint8_t ReportMaskAll = 0xFF;

constexpr std::uint8_t ReportSourceBuffer = 0;
constexpr std::uint8_t ReportSourceFlash = 1;

// Saves (or only reads) the parameter block and prints the report that the
// mask selects; 0, 1 or 2 as the save and the bias checks come out.
std::uint8_t DoSaveDataToFlash(std::uint8_t hub, std::uint8_t SaveMode, std::uint8_t ReportMask,
                               std::uint8_t ReportSource);
