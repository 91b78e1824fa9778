// SPDX-License-Identifier: MIT
// binary_tools_test.cpp
//
// The readers of binutils output and of .def files on known text, so that an
// artifact test cannot pass because a reader found nothing; and the checksum
// on bytes whose sum is known.
#include "artifacts/binary_tools.h"
#include "artifacts/module_definition.h"

#include <gtest/gtest.h>

namespace artifacts {
namespace {

const char* const kPrivateHeaders =
    "\n"
    "bin/x.dll:     file format pei-i386\n"
    "\n"
    "Characteristics 0x2106\n"
    "\texecutable\n"
    "\tDLL\n"
    "\n"
    "Magic\t\t\t010b\t(PE32)\n"
    "AddressOfEntryPoint\t000011d0\n"
    "ImageBase\t\t6a540000\n"
    "CheckSum\t\t0001a2b3\n"
    "Subsystem\t\t00000003\t(Windows CUI)\n"
    "DllCharacteristics\t00000140\n"
    "Entry 5 00006000 000000fc Base Relocation Directory [.reloc]\n"
    "\n"
    "\tDLL Name: KERNEL32.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t813c\t  277  CloseHandle\n"
    "\t8154\t  310  CreateFileA\n"
    "\n"
    "\tDLL Name: msvcrt.dll\n"
    "\tvma:  Hint/Ord Member-Name Bound-To\n"
    "\t81f0\t   82  malloc\n"
    "\n"
    "[Ordinal/Name Pointer] Table\n"
    "\t[   0] dllshutdown\n"
    "\t[   1] init\n"
    "\n"
    "PE File Base Relocations (interpreted .reloc section contents)\n";

TEST(ObjdumpReaders, PrivateHeadersGiveFieldsImportsAndExports)
{
    PeReport report;
    ParsePrivateHeaders(kPrivateHeaders, report);
    EXPECT_EQ(report.format, "pei-i386");
    EXPECT_EQ(report.magic, "PE32");
    EXPECT_EQ(report.characteristics, 0x2106u);
    EXPECT_EQ(report.entryRva, 0x11d0u);
    EXPECT_EQ(report.imageBase, 0x6a540000u);
    EXPECT_EQ(report.checksum, 0x1a2b3u);
    EXPECT_EQ(report.subsystem, kSubsystemWindowsConsole);
    EXPECT_EQ(report.relocationDirectorySize, 0xfcu);
    EXPECT_EQ(report.importedDllNames(), (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
    EXPECT_EQ(report.functionsFrom("kernel32.DLL"),
              (std::vector<std::string>{"CloseHandle", "CreateFileA"}));
    EXPECT_EQ(report.exports, (std::vector<std::string>{"dllshutdown", "init"}));
}

TEST(ObjdumpReaders, TextWithoutAFileFormatIsRefused)
{
    PeReport report;
    EXPECT_THROW(ParsePrivateHeaders("objdump: x.dll: file format not recognized\n", report),
                 std::runtime_error);
}

TEST(ObjdumpReaders, SectionFlagsTellWritableAndExecutable)
{
    auto sections =
        ParseSectionHeaders("Idx Name          Size      VMA       LMA       File off  Algn\n"
                            "  0 .text         00001798  00011000  00011000  00000400  2**2\n"
                            "                  CONTENTS, ALLOC, LOAD, READONLY, CODE\n"
                            "  1 .bss          00000078  00014000  00014000  00000000  2**2\n"
                            "                  ALLOC\n"
                            "  2 .wx           00000010  00015000  00015000  00000600  2**2\n"
                            "                  CONTENTS, ALLOC, LOAD, CODE\n");
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_FALSE(sections[0].writable);
    EXPECT_TRUE(sections[0].executable);
    EXPECT_TRUE(sections[1].writable);
    EXPECT_FALSE(sections[1].executable);
    EXPECT_TRUE(sections[2].writable && sections[2].executable);
}

TEST(ObjdumpReaders, DisassemblyOfOneFunctionEndsAtTheBlankLine)
{
    auto code = ParseFunctionDisassembly("00012750 <_PortReadByte>:\n"
                                         "   12750:\tmov    0x4(%esp),%edx\n"
                                         "   12754:\tin     (%dx),%al\n"
                                         "   12755:\tret\n"
                                         "\n"
                                         "00012760 <_PortWriteByte>:\n"
                                         "   12760:\tout    %al,(%dx)\n",
                                         "_PortReadByte");
    EXPECT_EQ(code, (std::vector<std::string>{"mov 0x4(%esp),%edx", "in (%dx),%al", "ret"}));
    EXPECT_TRUE(ParseFunctionDisassembly("", "_PortReadByte").empty());
}

TEST(ObjdumpReaders, DynamicSymbolsTellDefinedGlobalFunctions)
{
    auto symbols = ParseDynamicSymbols(
        "lib.so:     file format elf64-x86-64\n"
        "\n"
        "DYNAMIC SYMBOL TABLE:\n"
        "0000000000000000      DF *UND*\t0000000000000000 (GLIBC_2.2.5) strlen\n"
        "0000000000000000  w   D  *UND*\t0000000000000000  Base        __gmon_start__\n"
        "0000000000001234 g    DF .text\t0000000000000012  Base        init\n"
        "0000000000004010 g    DO .data\t0000000000000004  Base        counter\n");
    ASSERT_EQ(symbols.size(), 4u);
    EXPECT_EQ(symbols[0].name, "strlen");
    EXPECT_FALSE(symbols[0].defined);
    EXPECT_FALSE(symbols[1].defined);
    EXPECT_EQ(symbols[2].name, "init");
    EXPECT_TRUE(symbols[2].defined && symbols[2].global && symbols[2].function);
    EXPECT_TRUE(symbols[3].defined && symbols[3].global);
    EXPECT_FALSE(symbols[3].function);
}

TEST(ModuleDefinitionReader, ExportsAreTheNamesUnderExportsWithoutComments)
{
    auto definition = ParseModuleDefinition("; reader: GetCPUTemp\n"
                                            ";reader:GetFAN1RPM\n"
                                            "LIBRARY Gaugelet\n"
                                            "EXPORTS\n"
                                            "    init ; first\n"
                                            "    getparam @2\n"
                                            "\n"
                                            "    dlltype=DllTypeImpl\n");
    EXPECT_EQ(definition.library, "Gaugelet");
    EXPECT_EQ(definition.exports, (std::vector<std::string>{"init", "getparam", "dlltype"}));
}

// A minimal image: MZ header pointing at a PE signature at 0x40, the
// checksum field at 0x40 + 4 + 20 + 64 = 0x98, and a file of 0xa0 bytes.
std::vector<unsigned char> MinimalImage()
{
    std::vector<unsigned char> image(0xa0, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3c] = 0x40;
    image[0x40] = 'P';
    image[0x41] = 'E';
    return image;
}

TEST(PeChecksum, IsTheFoldedWordSumPlusTheLengthWithoutTheStoredField)
{
    auto image = MinimalImage();
    // Words: 0x5a4d ('MZ'), 0x0040, 0x4550 ('PE'); sum 0x9fdd, plus 0xa0.
    EXPECT_EQ(ComputePeChecksum(image), 0x9fddu + 0xa0u);

    image[0x98] = 0x12; // the stored checksum does not count
    image[0x9b] = 0x34;
    EXPECT_EQ(ComputePeChecksum(image), 0x9fddu + 0xa0u);

    image[0x9e] = 0xff; // a word 0xffff folds back: 0x9fdd + 0xffff = 0x19fdc -> 0x9fdd
    image[0x9f] = 0xff;
    EXPECT_EQ(ComputePeChecksum(image), 0x9fddu + 0xa0u);
    image[0x9f] = 0x00;
    EXPECT_EQ(ComputePeChecksum(image), 0x9fddu + 0xffu + 0xa0u);
}

TEST(PeChecksum, RefusesBytesThatAreNoPeImage)
{
    auto image = MinimalImage();
    image[0x41] = 'X';
    EXPECT_THROW(ComputePeChecksum(image), std::runtime_error);
    EXPECT_THROW(ComputePeChecksum(std::vector<unsigned char>(16, 0)), std::runtime_error);
}

} // namespace
} // namespace artifacts
