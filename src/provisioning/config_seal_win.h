// The seal of a keyed build's configuration against this machine: the
// signature by CNG, the highest sequence this user has accepted (kept in
// the registry) and the clock.
#pragma once
#include <string>

#include "provisioning/config_value.h"

// Checks a keyed build's configuration body (`bytes`, as received) against
// `builtInKeys` and reads it. Nothing of the body is read before its
// signature has passed. On a refusal, false with the ERROR line's text in
// `refusal`; on acceptance, the highest accepted sequence is raised to the
// body's.
bool AcceptSealedConfig(const std::string& bytes, const std::string& builtInKeys,
                        tov::RemoteConfig& config, std::wstring& refusal);

// The highest ConfigSequence this user has accepted, 0 before the first.
uint64_t HighestConfigSequence();
