// The OpenCL device that answers the mate questions.
#pragma once

#include <string>

#include "opencl/batch.h"

// Picks the device: under a BOINC client the one the client assigned to the
// task; standalone the first GPU of any platform, else the first device of any
// type.  On success `description` names it and says how it was chosen; false
// when there is none, `error` saying why.
bool choose_opencl_device(std::string& description, std::string& error);

// Builds the embedded mate kernel for the chosen device with a store of
// `store_capacity` transversals a square (mate_store_capacity in the worker,
// smaller in tests that send squares back to the host), and the buffers for
// one batch.
bool open_mate_kernel(int store_capacity, std::string& error);

// A BatchAnswerer: the batch's squares to the device, the kernel over them, the
// answers back.
bool answer_batch_on_device(MateBatch& batch, const char*& error);

// Releases what open_mate_kernel made.
void close_mate_kernel();
