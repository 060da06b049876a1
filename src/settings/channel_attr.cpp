#include "settings/channel_attr.h"

const COLORREF g_crDefaultColor[8] = {
    0x000000, // CH1 black
    0xFF0000, // CH2 blue
    0x00FF00, // CH3 green
    0x808000, // CH4 teal
    0x0000FF, // CH5 red
    0x800080, // CH6 purple
    0x008080, // CH7 olive
    0x004000, // CH8 dark green
};

int ClampSamplesPerDiv(int nSamplesPerDiv) {
    if (nSamplesPerDiv < 1)
        return 1;
    if (nSamplesPerDiv > 10000)
        return 10000;
    return nSamplesPerDiv;
}
