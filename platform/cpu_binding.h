// Binding a survey thread to the logical processor its placement chose.
#pragma once
#include <cstdint>
#include <string>

// Binds the calling thread to one logical processor (the system's number);
// false, with the reason in error, when it cannot.
bool BindCurrentThread(uint32_t processor, std::string* error);
