#include "driver/test_data.h"

alignas(4096) TestData test_data = {"beware of the ides of march", "ides of march", {}, {}};

alignas(4096) PassCounterPage pass_counter_page;
