// Which logical processors the survey's threads run on, and binding a thread
// to one of them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The logical processors this process may run on, in the order threads take
// them: the first hardware thread of every physical core, then the second
// ones, and so on. Empty when the system cannot say.
std::vector<uint32_t> ProcessorsInBindingOrder();
// Binds the calling thread to one logical processor (the system's number);
// false, with the reason in error, when it cannot.
bool BindCurrentThread(uint32_t processor, std::string* error);
