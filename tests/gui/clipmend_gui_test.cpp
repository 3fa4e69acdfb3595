// Partglance.exe with the real ClipmendC.exe beside it: Go on an unfinished download makes a
// playable AVI, and Close and Play hands it to the media player (the stand-in in bin\, found by
// ShellExecuteA beside the program), whose media window plays it.
#include "CatalogueTree.h"
#include "ExpectedTexts.h"
#include "GuiDriver.h"
#include "SmallAvi.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <vfw.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

namespace {

using pgtest::PLAYER_CLASS;

std::uint32_t U32(const std::string& bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

struct MovieChunk
{
    std::string id;
    std::size_t header = 0; // offset of the chunk's id
    std::uint32_t size = 0;
};

struct IndexEntry
{
    std::string id;
    std::uint32_t flags = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// What a reader of an AVI 1.0 file finds in it, read here independently of the tool.
struct AviFacts
{
    bool riffAvi = false;
    bool riffSizeMatches = false;
    bool hasMainHeader = false;
    std::uint32_t totalFrames = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t movieType = 0; // offset of the "movi" list type; 0 when there is no movie list
    std::vector<MovieChunk> movie;
    bool hasIndex = false;
    std::vector<IndexEntry> index;
};

void ReadMovieList(const std::string& bytes, std::size_t begin, std::size_t end, AviFacts& facts)
{
    for (std::size_t at = begin; at + 8 <= end;) {
        MovieChunk chunk{bytes.substr(at, 4), at, U32(bytes, at + 4)};
        if (chunk.id == "LIST") {
            ReadMovieList(bytes, at + 12, std::min<std::size_t>(end, at + 8 + chunk.size), facts);
        } else {
            if (at + 8 + chunk.size > end)
                return; // cut short: not a whole chunk
            facts.movie.push_back(chunk);
        }
        at += 8 + chunk.size + (chunk.size & 1);
    }
}

AviFacts ReadAvi(const std::string& bytes)
{
    AviFacts facts;
    facts.riffAvi = bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "AVI ") == 0;
    if (!facts.riffAvi)
        return facts;
    facts.riffSizeMatches = U32(bytes, 4) + 8 == bytes.size();
    const std::size_t end = std::min<std::size_t>(bytes.size(), U32(bytes, 4) + 8);
    for (std::size_t at = 12; at + 8 <= end;) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = U32(bytes, at + 4);
        const std::size_t dataEnd = std::min<std::size_t>(end, at + 8 + size);
        const std::string listType = id == "LIST" ? bytes.substr(at + 8, 4) : "";
        if (listType == "hdrl" && bytes.compare(at + 12, 4, "avih") == 0) {
            facts.hasMainHeader = true;
            facts.totalFrames = U32(bytes, at + 20 + 16);
            facts.width = U32(bytes, at + 20 + 32);
            facts.height = U32(bytes, at + 20 + 36);
        } else if (listType == "movi") {
            facts.movieType = at + 8;
            ReadMovieList(bytes, at + 12, dataEnd, facts);
        } else if (id == "idx1") {
            facts.hasIndex = true;
            for (std::size_t entry = at + 8; entry + 16 <= dataEnd; entry += 16)
                facts.index.push_back({bytes.substr(entry, 4), U32(bytes, entry + 4), U32(bytes, entry + 8),
                                       U32(bytes, entry + 12)});
        }
        at += 8 + size + (size & 1);
    }
    return facts;
}

std::vector<MovieChunk> VideoChunks(const AviFacts& facts)
{
    std::vector<MovieChunk> video;
    for (const MovieChunk& chunk : facts.movie)
        if (chunk.id == "00db" || chunk.id == "00dc")
            video.push_back(chunk);
    return video;
}

std::set<std::string> FileNames(const std::string& directory)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA data{};
    const HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.insert(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return names;
}

// A message without pointers to the stand-in player's media window, answered in its process.
LRESULT AskMediaWindow(HWND media, UINT message)
{
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutA(media, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer))
        return -1;
    return static_cast<LRESULT>(answer);
}

class ClipmendGuiTest : public gui::ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        ::SetEnvironmentVariableA("MPLAYER2_STANDIN_LOG", PlayerLog().c_str());
    }

    void TearDown() override
    {
        // A player still open holds the produced file; it goes before the folder.
        pgtest::ClosePlayers();
        ::SetEnvironmentVariableA("MPLAYER2_STANDIN_LOG", nullptr);
        ProgramTest::TearDown();
    }

    std::string PlayerLog() const { return m_tree.PathOf("player.log"); }

    // The main window once the temp directory's only download has been double-clicked.
    HWND PickTheDownload(const gui::Program& program, const std::string& partName) const
    {
        const HWND main = program.WaitForWindow("Partglance");
        if (!main)
            return nullptr;
        gui::BringToFront(main);
        const HWND list = gui::Item(main, IDL_DOWNLOADS);
        if (!pgtest::WaitUntil([&] { return gui::ListRows(list, 4).size() == 1; }))
            return nullptr;
        const RECT row = gui::ListItemRect(list, 0);
        gui::ClickAt(list, row.left + 10, (row.top + row.bottom) / 2, true);
        const bool picked = pgtest::WaitUntil(
            [&] { return pgtest::WindowText(gui::Item(main, IDE_INPUT)) == m_tree.PathOf(partName); });
        return picked ? main : nullptr;
    }

    // Presses Go and waits for the output window to show the end text with Close and Play enabled.
    static HWND GoUntilTheEnd(const gui::Program& program, HWND main)
    {
        gui::PostClick(gui::Item(main, IDB_GO));
        const HWND output = program.WaitForWindow(pgtest::Expected(pgtest::OUTPUT_TITLE));
        if (!output)
            return nullptr;
        const std::string endText = pgtest::Expected(pgtest::OUTPUT_END_TEXT);
        const HWND box = gui::Item(output, IDE_TOOL_OUTPUT);
        const bool ended = pgtest::WaitUntil(
            [&] {
                const std::string shown = pgtest::WindowText(box);
                return gui::IsEnabled(gui::Item(output, IDOK)) && shown.size() >= endText.size() &&
                       shown.compare(shown.size() - endText.size(), endText.size(), endText) == 0;
            },
            30000);
        EXPECT_TRUE(ended) << pgtest::WindowText(box);
        EXPECT_NE(std::string::npos, pgtest::WindowText(box).find(pgtest::END_MARKER))
            << pgtest::WindowText(box);
        return output;
    }

    pgtest::CatalogueTree m_tree;
};

TEST_F(ClipmendGuiTest, LocalizedGoOnAPartialAviMakesAFilmThatPlaysInTheMediaWindow)
{
    // 40 frames, of which the first 36 and half of the next have arrived, as the metadata tells.
    const std::string film = pgtest::SmallAviBytes({160, 120, 10, 40});
    const std::vector<MovieChunk> sourceFrames = VideoChunks(ReadAvi(film));
    ASSERT_EQ(40u, sourceFrames.size());
    const std::size_t arrived = sourceFrames[36].header + 8 + sourceFrames[36].size / 2;
    const std::string part = pgtest::CutShort(film, arrived);
    m_tree.File("007.part", part);
    m_tree.File("007.part.met",
                pgtest::MetFile()
                    .Header()
                    .Name("Film clip.avi")
                    .Size(static_cast<std::uint32_t>(film.size()))
                    .Copied(static_cast<std::uint32_t>(arrived))
                    .Gap(0, static_cast<std::uint32_t>(arrived), static_cast<std::uint32_t>(film.size()))
                    .str());
    StoreTempDir(m_tree.Root());

    // The program's working folder is the temp directory: the output name is relative to it.
    gui::Program program(gui::BinPath("Partglance.exe"), m_tree.Root());
    ASSERT_TRUE(program.Started());
    const HWND main = PickTheDownload(program, "007.part");
    ASSERT_NE(nullptr, main);
    EXPECT_EQ("Film clip.avi", pgtest::WindowText(gui::Item(main, IDE_OUTPUT)));
    EXPECT_FALSE(gui::IsEnabled(gui::Item(main, IDB_PLAY_OUTPUT)));

    // From frame 5 on; the frame count (50) and the size (640 x 352) keep their defaults.
    gui::SetText(gui::Item(main, IDE_START_FRAME), "5");
    const HWND output = GoUntilTheEnd(program, main);
    ASSERT_NE(nullptr, output);
    // The tool's summary reaches the window in the same piece as its end marker.
    EXPECT_NE(std::string::npos, pgtest::WindowText(gui::Item(output, IDE_TOOL_OUTPUT)).find("(32 frames)"))
        << pgtest::WindowText(gui::Item(output, IDE_TOOL_OUTPUT));

    // Frames 5 to 36 in a fresh file with a correct index; the input is as it was.
    const std::string produced = pgtest::ReadWholeFile(m_tree.PathOf("Film clip.avi"));
    const AviFacts facts = ReadAvi(produced);
    ASSERT_TRUE(facts.riffAvi) << produced.substr(0, 12);
    EXPECT_TRUE(facts.riffSizeMatches);
    ASSERT_TRUE(facts.hasMainHeader);
    ASSERT_TRUE(facts.hasIndex);
    const std::vector<MovieChunk> frames = VideoChunks(facts);
    ASSERT_EQ(32u, frames.size());
    EXPECT_EQ(32u, facts.totalFrames);
    EXPECT_EQ(640u, facts.width);
    EXPECT_EQ(352u, facts.height);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const MovieChunk& source = sourceFrames[4 + i];
        EXPECT_EQ(
            0, produced.compare(frames[i].header + 8, frames[i].size, film, source.header + 8, source.size))
            << "frame " << i << " is not source frame " << 4 + i;
    }
    ASSERT_EQ(facts.movie.size(), facts.index.size());
    for (std::size_t i = 0; i < facts.index.size(); ++i) {
        const IndexEntry& entry = facts.index[i];
        EXPECT_EQ(facts.movie[i].id, entry.id) << "index entry " << i;
        EXPECT_EQ(facts.movie[i].header, facts.movieType + entry.offset) << "index entry " << i;
        EXPECT_EQ(facts.movie[i].size, entry.size) << "index entry " << i;
        EXPECT_TRUE(entry.flags & AVIIF_KEYFRAME) << "index entry " << i;
    }
    EXPECT_EQ(part, pgtest::ReadWholeFile(m_tree.PathOf("007.part")));
    // Nothing half-written or temporary is left beside the output.
    EXPECT_EQ((std::set<std::string>{"007.part", "007.part.met", "Film clip.avi"}), FileNames(m_tree.Root()));

    // Close and Play: the player gets the produced file and its media window plays all of it.
    gui::PostClick(gui::Item(output, IDOK));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return pgtest::ReadWholeFile(PlayerLog()) == "Film clip.avi\r\n"; }))
        << pgtest::ReadWholeFile(PlayerLog());
    HWND player = nullptr;
    EXPECT_TRUE(pgtest::WaitUntil(
        [&] { return (player = ::FindWindowA(PLAYER_CLASS, "Film clip.avi - Media Player")) != nullptr; }));
    ASSERT_NE(nullptr, player);
    // The player makes its media window after its own window.
    HWND media = nullptr;
    EXPECT_TRUE(pgtest::WaitUntil(
        [&] { return (media = ::FindWindowExA(player, nullptr, MCIWND_WINDOW_CLASS, nullptr)) != nullptr; }));
    ASSERT_NE(nullptr, media);
    LRESULT length = -1;
    EXPECT_TRUE(pgtest::WaitUntil([&] { return (length = AskMediaWindow(media, MCIWNDM_GETLENGTH)) == 32; }))
        << length;
    LRESULT position = -1;
    EXPECT_TRUE(pgtest::WaitUntil([&] {
        return (position = AskMediaWindow(media, MCIWNDM_GETPOSITION)) > 0;
    })) << position;
    EXPECT_TRUE(gui::IsEnabled(gui::Item(main, IDB_PLAY_OUTPUT)));
}

TEST_F(ClipmendGuiTest, AFailedRunStillEndsAndLeavesNothingToPlay)
{
    // The first bytes have arrived, but they are no AVI.
    m_tree.File("008.part", std::string(4096, 'x'));
    m_tree.File("008.part.met",
                pgtest::MetFile().Header().Name("Broken.avi").Size(100000).Gap(0, 4096, 100000).str());
    StoreTempDir(m_tree.Root());

    gui::Program program(gui::BinPath("Partglance.exe"), m_tree.Root());
    ASSERT_TRUE(program.Started());
    const HWND main = PickTheDownload(program, "008.part");
    ASSERT_NE(nullptr, main);
    const HWND output = GoUntilTheEnd(program, main);
    ASSERT_NE(nullptr, output);
    EXPECT_NE(std::string::npos,
              pgtest::WindowText(gui::Item(output, IDE_TOOL_OUTPUT)).find("not an AVI file"))
        << pgtest::WindowText(gui::Item(output, IDE_TOOL_OUTPUT));
    EXPECT_EQ((std::set<std::string>{"008.part", "008.part.met"}), FileNames(m_tree.Root()));

    // Close and Play has nothing to hand on: the window closes and the player is not started.
    gui::PostClick(gui::Item(output, IDOK));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return !::IsWindow(output); }));
    EXPECT_TRUE(pgtest::WaitUntil([&] { return gui::IsEnabled(main); }));
    EXPECT_FALSE(gui::IsEnabled(gui::Item(main, IDB_PLAY_OUTPUT)));
    EXPECT_FALSE(pgtest::WaitUntil([&] { return ::FindWindowA(PLAYER_CLASS, nullptr) != nullptr; }, 1500));
    EXPECT_EQ("", pgtest::ReadWholeFile(PlayerLog()));
}

} // namespace
