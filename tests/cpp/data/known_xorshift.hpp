// Known outputs of the tie-break generator from the seed x = 1, y = 2, z = 3, w = 4.
#pragma once
#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

namespace known_xorshift {

inline constexpr std::array<std::uint32_t, 100> kOutputs{
    2061u, 6175u, 4u, 8224u, 4194381u, 8396986u,
    8388750u, 25174430u, 29494155u, 4620025u, 12749327u, 5166936u,
    297867913u, 574824446u, 918911819u, 1078435548u, 1498140943u, 1674414391u,
    2127542566u, 33716573u, 96867259u, 172860933u, 155724003u, 412184582u,
    771744612u, 1256527184u, 44180447u, 2434822861u, 1125533518u, 557553129u,
    848623306u, 2695912527u, 1366119200u, 2885947449u, 968065493u, 465825928u,
    537678979u, 2886012259u, 152931359u, 224295428u, 1337237344u, 3411996128u,
    784793056u, 3501599846u, 991094415u, 119487968u, 506456350u, 2140873633u,
    3541144643u, 757023740u, 1276721240u, 3929644113u, 3050684121u, 1644301116u,
    3881575644u, 3248617330u, 3650796265u, 2880639245u, 2916072035u, 1662767823u,
    1868194231u, 1548889640u, 2359204707u, 833531285u, 2370119118u, 1084979488u,
    949401557u, 2081453911u, 3638511182u, 3282454028u, 1308846514u, 2975204842u,
    2476329144u, 1660840673u, 937808373u, 916323254u, 1797007829u, 4196724533u,
    3814188029u, 986641514u, 2954240103u, 1838558231u, 830628435u, 2091036077u,
    2109124422u, 2711405171u, 2200878313u, 3934824164u, 579659884u, 1698969876u,
    2474313889u, 1013654444u, 2044814277u, 1026128244u, 1985757296u, 323976020u,
    1640156595u, 391576102u, 2208130940u, 3948951936u,
};

struct UniformCase {
  std::uint32_t m;
  std::uint32_t zone;                // the first output that is rejected
  std::vector<std::uint32_t> draws;  // 20 successive draws below m, one step each
  std::uint32_t next_output;         // the generator's output after the draws
};

inline std::ostream& operator<<(std::ostream& os, const UniformCase& c) { return os << "m=" << c.m; }

inline const std::vector<UniformCase> kUniformCases{
    {2, 4294967294u, {1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1}, 96867259u},
    {3, 4294967295u, {0, 1, 1, 1, 0, 1, 0, 2, 0, 1, 2, 0, 1, 2, 2, 0, 1, 1, 1, 2}, 96867259u},
    {4, 4294967292u, {1, 3, 0, 0, 1, 2, 2, 2, 3, 1, 3, 0, 1, 2, 3, 0, 3, 3, 2, 1}, 96867259u},
    {5, 4294967295u, {1, 0, 4, 4, 1, 1, 0, 0, 0, 0, 2, 1, 3, 1, 4, 3, 3, 1, 1, 3}, 96867259u},
    {7, 4294967292u, {3, 1, 4, 6, 2, 3, 6, 1, 5, 4, 3, 5, 0, 0, 0, 1, 5, 6, 2, 2}, 96867259u},
    {10, 4294967290u, {1, 5, 4, 4, 1, 6, 0, 0, 5, 5, 7, 6, 3, 6, 9, 8, 3, 1, 6, 3}, 96867259u},
};

struct FirstSelection {
  std::uint32_t k;          // edges, all unvisited
  std::uint32_t chosen;     // index of the edge chosen
  std::uint32_t steps_used; // generator steps the choice took
};

inline std::ostream& operator<<(std::ostream& os, const FirstSelection& c) { return os << "k=" << c.k; }

inline constexpr std::array<FirstSelection, 12> kFirstSelections{{
    {1, 0, 0},
    {2, 0, 1},
    {3, 0, 2},
    {4, 3, 3},
    {5, 3, 4},
    {6, 3, 5},
    {7, 3, 6},
    {8, 3, 7},
    {9, 3, 8},
    {10, 3, 9},
    {11, 3, 10},
    {12, 3, 11},
}};

}  // namespace known_xorshift
