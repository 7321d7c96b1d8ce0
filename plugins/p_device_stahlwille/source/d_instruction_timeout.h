#pragma once

// The timeout, in ms, that every instruction of the commands is registered
// with; what comes of it is the framework's and the driver's affair.
constexpr int instructionTimeoutMs = 2000;
