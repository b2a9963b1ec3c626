#include "app/multi_face_selection.h"

#include <cstdint>

#include "app/options.h"
#include "common/state.h"

namespace {

// Amounts of the four multi-face options in ISNeedACC6PhaseCali.
constexpr std::uint8_t Acc1TwoPhaseCali = 2;
constexpr std::uint8_t Acc1SixPhaseCali = 6;
constexpr std::uint8_t Acc2TwoPhaseCali = 0x20;
constexpr std::uint8_t Acc2SixPhaseCali = 0x60;

}  // namespace

void SelectMultiFaceCalibration()
{
    // The amounts are added, not combined bit by bit: both ACC2 options give
    // 0x80, both ACC1 options 8, which name no flow.
    const struct {
        const char* name;
        std::uint8_t amount;
    } options[] = {
        {"/ACC1-2P-CALI", Acc1TwoPhaseCali},
        {"/ACC1-6P-CALI", Acc1SixPhaseCali},
        {"/ACC2-2P-CALI", Acc2TwoPhaseCali},
        {"/ACC2-6P-CALI", Acc2SixPhaseCali},
    };
    for (const auto& option : options)
        if (OptionGiven(CheckParameters(gArgc, gArgv, option.name)))
            ISNeedACC6PhaseCali = static_cast<std::uint8_t>(ISNeedACC6PhaseCali + option.amount);
}
