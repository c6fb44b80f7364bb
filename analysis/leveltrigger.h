// The level trigger of every alarm and trigger of the program: the logging
// trigger, the medical alarm and the XPD window's detect level. A trigger
// arms when the measurement has been on the other side of its line and fires
// when it then crosses the line. Only a measured verdict moves it
// (CTraceStore::SideOf): words nobody measured (a fresh grid, the fill of a
// reinitialised trace) neither arm nor fire it, so a level that has stood
// beyond the line since the window started never counts as a crossing.
#pragma once

#include "trace/tracestore.h"

// Trigger states: waiting to arm, armed, fired.
constexpr int kTriggerWaiting = 1;
constexpr int kTriggerArmed = 2;
constexpr int kTriggerFired = 3;
// Directions: fire when the level rises above the line, or falls below it.
constexpr int kTriggerRising = 0;

struct TriggerStep {
    int state;  // the state after the step
    bool fired; // the step found the level on the firing side of an armed trigger
};

// One step of a trigger in state (kTriggerWaiting, kTriggerArmed or
// kTriggerFired) for the side the measurement is on. Waiting, it arms on the
// side opposite to the firing one; armed or fired, the firing side fires
// (again). An unknown side changes nothing.
inline TriggerStep StepTrigger(int state, LevelSide side, int direction) {
    const LevelSide firing = direction == kTriggerRising ? LevelSide::kAbove : LevelSide::kBelow;
    if (side == LevelSide::kUnknown)
        return {state, false};
    if (state != kTriggerArmed && state != kTriggerFired)
        return {side == firing ? state : kTriggerArmed, false};
    if (side == firing)
        return {kTriggerFired, true};
    return {state, false};
}
