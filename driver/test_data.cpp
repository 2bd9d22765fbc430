#include "driver/test_data.h"

alignas(4096) TestData test_data = {"beware of the ides of march", "ides of march", {}, {}};
