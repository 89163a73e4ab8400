// The device that answers the mate questions: implemented for OpenCL
// (device.cpp, dlsmate-opencl) and for CUDA (cuda_device.cu, dlsmate-cuda).
#pragma once

#include <cstdint>
#include <string>

#include "opencl/batch.h"

// Picks the device (`under_client`: started by a BOINC client, not standalone).  OpenCL: under a BOINC client the one the client assigned
// to the task, or the first CPU device when it assigned no GPU (an app version
// of an OpenCL CPU plan class); standalone the first GPU of any platform, else the first device
// of any type.  CUDA: the client's device number, standalone device 0.  On success `description` names it and says how it was chosen; false
// when there is none, `error` saying why.
bool choose_device(bool under_client, std::string& description, std::string& error);

// The squares a batch for the chosen device holds: batch_capacity for a GPU,
// fewer for a processor, whose batch would otherwise keep the walk waiting long
// between checkpoints.
std::int32_t batch_size_for_device();

// The prefixes a batch for the chosen device holds: prefix_batch_capacity for a
// GPU, fewer for a processor, for the same reason.
std::int32_t prefix_batch_size_for_device();

// Builds the embedded kernels for the chosen device with a store of
// `store_capacity` transversals a square and tables of `table_capacity` rows
// 0-4 partial transversals (mate_store_capacity and mate_table_capacity in the
// worker, smaller in tests that send squares back to the host), and the
// buffers for one batch: tables for launch_block_capacity blocks at once.
bool open_mate_kernel(int store_capacity, int table_capacity, std::string& error);

// A BatchAnswerer: the batch's squares to the device, a launch at a time (the
// tables of its blocks, then the answers of its squares), the answers back.
bool answer_batch_on_device(MateBatch& batch, const char*& error);

// A KeptCounter and a KeptLister: the prefixes to the device, the prefix
// kernels in the space of generator_state.diagonal_index, the counts or the
// squares back.
bool count_kept_on_device(PrefixBatch& prefixes, const char*& error);
bool list_kept_on_device(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                         const char*& error);

// Releases what open_mate_kernel made.
void close_mate_kernel();
