#pragma once
// The answer waits of the NF-e forms run on the window layer's timers and
// read the timers' clock, so that a test's manual clock moves both.
#include "billing/nfe/AnswerWait.h"

namespace billing::forms {

billing::nfe::WaitServices TimerWaitServices();

}  // namespace billing::forms
