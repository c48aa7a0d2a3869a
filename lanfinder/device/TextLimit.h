#pragma once

#include <cstddef>
#include <string>

// Texts a device sends are shown in every browser and kept for as long as
// the device is; a rogue device could send texts as long as a datagram.
inline constexpr std::size_t maxDeviceTextBytes = 1024;

// The longest start of text of at most maxBytes bytes that does not end in
// the middle of a UTF-8 character.
std::string cutAtCharacter(const std::string& text, std::size_t maxBytes = maxDeviceTextBytes);
