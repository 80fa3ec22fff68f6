// The run state: one process-wide record through which the driver, the loader, the
// writer and the listing share paths, mode, input, buffers, output and counters.
//
// Ownership: the loader acquires in_handle and header_area (COFF2) or elf_area,
// elf_load_map and elf_names (ELF), open_output acquires data_buffer and out_stream; only
// the driver's end of run releases them, in the order header area, the three ELF blocks,
// data buffer, input handle, output stream.
#ifndef C6X_VELM_CORE_RUN_STATE_H
#define C6X_VELM_CORE_RUN_STATE_H

#include <cstdint>
#include <string>

#include "core/coff_records.h"
#include "core/elf_records.h"

namespace velm {

struct OutStream;  // the platform's buffered output stream

enum class InputFormat : uint8_t { coff2, elf };

struct RunState {
    // Printed paths: upper-cased, the input with ".OUT" appended where it has no
    // extension. The typed spellings are what the file system is searched with.
    std::string in_path;
    std::string out_path;
    std::string in_typed;
    std::string out_typed;

    uint16_t directory_only = 0;
    uint16_t binary_mode = 0;

    // Input side. input_format decides which of the two groups below is filled.
    InputFormat input_format = InputFormat::coff2;
    int16_t in_handle = -1;
    uint32_t in_length = 0;
    FileHeader file_header{};
    const FileHeader* file_header_ref = nullptr;
    uint32_t header_area_size = 0;
    // The optional header and section table, as read; null when they are used where
    // the input's mapping holds them (opt_header and section_table then point there).
    uint8_t* header_area = nullptr;
    const uint8_t* opt_header = nullptr;  // into header_area; null without one
    const uint8_t* section_table = nullptr;
    const uint8_t* cur_section = nullptr;  // moves 48 bytes at a time

    // ELF input: the header as read; one block (elf_area) holding the section header
    // table and the program header table as read; one (elf_load_map) holding, for each
    // section, the index of the PT_LOAD header that loads it or kNotLoaded; and the
    // section name table in a block of its own.
    ElfHeader elf_header{};
    uint8_t* elf_area = nullptr;
    const uint8_t* elf_section_table = nullptr;  // into elf_area: e_shnum x 40 bytes
    const uint8_t* elf_program_table = nullptr;  // into elf_area: e_phnum x 32 bytes
    uint16_t* elf_load_map = nullptr;
    uint32_t elf_names_size = 0;
    uint8_t* elf_names = nullptr;  // the name table; null when e_shstrndx is 0

    // Output side.
    uint8_t* data_buffer = nullptr;  // kDataBufferSize bytes
    OutStream* out_stream = nullptr;
    uint32_t record_header[3] = {0, 0, 0};  // tag, address, length

    // Counters and the .cinit walk.
    uint16_t valid_sections = 0;
    int32_t cinit_left = 0;
    int32_t cinit_len = 0;
    int32_t cinit_len_padded = 0;
    uint32_t cinit_addr = 0;

    std::string message_text;
};

extern RunState run_state;

// Puts the run state back to its start values (the input handle at -1). Resources are
// expected to have been released by the end of the previous run.
void reset_run_state();

}  // namespace velm

#endif
