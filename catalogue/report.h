// The catalogue's exports in the field's formats: the plain-text CF list, the
// spectra as text tables, the orthogonality graph in Graphviz's DOT, the
// plots' gnuplot scripts, and a static HTML report page.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"

// Every CF as n lines of n digits separated by spaces, an empty line between squares.
std::string cf_list(const std::vector<std::string>& forms);

// Number of classes per value: of diagonal transversals, of mates (searched classes only).
std::map<std::int64_t, std::int64_t> transversal_spectrum(const std::vector<ClassRow>& classes);
std::map<std::int64_t, std::int64_t> mate_spectrum(const std::vector<ClassRow>& classes);

// "Diagonal transversals  Classes" and its rows, right-aligned.
std::string spectrum_table(const std::string& heading, const std::map<std::int64_t, std::int64_t>& spectrum);

// The research totals as lines ("distinct CFs: 3 (2 found in results, ...)").
std::vector<std::string> research_lines(const ResearchTotals& totals);

// Classes are named C1, C2, ... in CF order; the DOT graph labels them so,
// with their number of mates, and gives each CF as its tooltip.
std::string graph_dot(const std::vector<ClassRow>& classes, const std::vector<std::pair<std::string, std::string>>& edges);

// A gnuplot script drawing the spectrum as bars into png_path.
std::string spectrum_plot_script(const std::string& title, const std::string& x_label,
                                 const std::map<std::int64_t, std::int64_t>& spectrum, const std::string& png_path);

// The page: totals, triangles, spectra, the graph and its pictures (graph.svg,
// transversals.png, mates.png beside it), every class.
std::string report_html(const ResearchTotals& totals, const std::vector<std::string>& space_lines,
                        const std::vector<ClassRow>& classes,
                        const std::vector<std::pair<std::string, std::string>>& edges,
                        const std::vector<std::string>& triangles);
