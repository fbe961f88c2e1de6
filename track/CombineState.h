// Private to the track component: the state of its combine while one is set up.
#pragma once

struct TCombineState {};
