#include "catalogue/report.h"

#include <cstdio>
#include <sstream>

#include "catalogue/latin_square.h"
#include "catalogue/square_text.h"

namespace {

std::string escape_html(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::map<std::string, int> class_numbers(const std::vector<ClassRow>& classes,
                                         const std::vector<std::pair<std::string, std::string>>& edges)
{
    std::map<std::string, int> numbers;
    for (const ClassRow& row : classes)
        numbers.emplace(row.cf, 0);
    for (const auto& [a, b] : edges) {
        numbers.emplace(a, 0);
        numbers.emplace(b, 0);
    }
    int next = 0;
    for (auto& [cf, number] : numbers)
        number = ++next;
    return numbers;
}

std::string class_name(int number)
{
    std::string name = "C";
    name += std::to_string(number);
    return name;
}

} // namespace

std::string cf_list(const std::vector<std::string>& forms)
{
    std::string text;
    for (std::size_t i = 0; i < forms.size(); ++i) {
        LatinSquare square;
        if (!square_from_digits(forms[i], square))
            continue;
        if (i > 0)
            text += '\n';
        text += square_text(square);
    }
    return text;
}

std::map<std::int64_t, std::int64_t> transversal_spectrum(const std::vector<ClassRow>& classes)
{
    std::map<std::int64_t, std::int64_t> spectrum;
    for (const ClassRow& row : classes)
        ++spectrum[row.transversals];
    return spectrum;
}

std::map<std::int64_t, std::int64_t> mate_spectrum(const std::vector<ClassRow>& classes)
{
    std::map<std::int64_t, std::int64_t> spectrum;
    for (const ClassRow& row : classes)
        if (row.searched)
            ++spectrum[row.mates];
    return spectrum;
}

std::string spectrum_table(const std::string& heading, const std::map<std::int64_t, std::int64_t>& spectrum)
{
    const std::size_t width = heading.size();
    std::string text = heading + "  Classes\n";
    for (const auto& [value, count] : spectrum) {
        const std::string left = std::to_string(value);
        const std::string right = std::to_string(count);
        text += std::string(width > left.size() ? width - left.size() : 0, ' ') + left + "  " +
                std::string(7 > right.size() ? 7 - right.size() : 0, ' ') + right + "\n";
    }
    return text;
}

std::vector<std::string> research_lines(const ResearchTotals& t)
{
    std::vector<std::string> lines;
    lines.push_back("results: " + std::to_string(t.results) +
                    (t.failed != 0 ? ", " + std::to_string(t.failed) + " units failed" : std::string()));
    lines.push_back("kept squares: " + std::to_string(t.kept_squares));
    lines.push_back("squares with a mate: " + std::to_string(t.squares_with_mate));
    lines.push_back("distinct CFs: " + std::to_string(t.classes) + " (" + std::to_string(t.found_classes) +
                    " found in results, " + std::to_string(t.classes - t.found_classes) + " only as their mates; " +
                    std::to_string(t.new_classes) + " new, " + std::to_string(t.known_classes) + " known)");
    std::string cpu = "CPU time: " + fixed(t.cpu_seconds, 1) + " s (" + fixed(t.cpu_seconds / 3600, 3) + " hours) of " +
                      std::to_string(t.timed_results) +
                      " of " + std::to_string(t.results) + " results (BOINC's cpu_time of each canonical result)";
    if (t.cpu_seconds > 0)
        cpu += "; new CFs per CPU hour: " + fixed(t.new_classes / (t.cpu_seconds / 3600), 3);
    else
        cpu += "; new CFs per CPU hour: unknown";
    lines.push_back(cpu);
    lines.push_back("largest number of mates: " + std::to_string(t.most_mates));
    lines.push_back("orthogonality graph: " + std::to_string(t.edges) + " edges, " + std::to_string(t.components) +
                    " components");
    lines.push_back("triangles (three mutually orthogonal squares): " + std::to_string(t.triangles) +
                    (t.triangles != 0 ? " -- A DISCOVERY, see the triangle table" : ""));
    return lines;
}

std::string graph_dot(const std::vector<ClassRow>& classes, const std::vector<std::pair<std::string, std::string>>& edges)
{
    const std::map<std::string, int> numbers = class_numbers(classes, edges);
    std::map<std::string, const ClassRow*> rows;
    for (const ClassRow& row : classes)
        rows[row.cf] = &row;
    std::string dot = "graph orthogonality {\n  node [shape=ellipse, style=filled, fontname=\"DejaVu Sans\"];\n";
    for (const auto& [cf, number] : numbers) {
        const auto row = rows.find(cf);
        std::string label = class_name(number);
        std::string fill = "white";
        if (row != rows.end()) {
            label += "\\n";
            label += std::to_string(row->second->mates);
            label += row->second->mates == 1 ? " mate" : " mates";
            fill = row->second->known ? "lightgrey" : "palegreen";
        }
        dot += "  " + class_name(number) + " [label=\"" + label + "\", fillcolor=" + fill + ", tooltip=\"" + cf +
               "\"];\n";
    }
    for (const auto& [a, b] : edges)
        dot += "  " + class_name(numbers.at(a)) + " -- " + class_name(numbers.at(b)) + ";\n";
    dot += "}\n";
    return dot;
}

std::string spectrum_plot_script(const std::string& title, const std::string& x_label,
                                 const std::map<std::int64_t, std::int64_t>& spectrum, const std::string& png_path)
{
    // Paths and titles are ours; gnuplot's single-quoted strings take them as they are.
    std::string script = "set terminal pngcairo size 640,400\nset output '" + png_path + "'\n";
    script += "set title '" + title + "'\nset xlabel '" + x_label + "'\nset ylabel 'classes'\n";
    script += "set style fill solid 0.6\nset boxwidth 0.8 relative\nset yrange [0:*]\nunset key\n";
    script += "plot '-' using 1:2 with boxes\n";
    for (const auto& [value, count] : spectrum)
        script += std::to_string(value) + " " + std::to_string(count) + "\n";
    if (spectrum.empty())
        script += "0 0\n";
    script += "e\n";
    return script;
}

std::string report_html(const ResearchTotals& totals, const std::vector<std::string>& space_lines,
                        const std::vector<ClassRow>& classes,
                        const std::vector<std::pair<std::string, std::string>>& edges,
                        const std::vector<std::string>& triangles)
{
    const std::map<std::string, int> numbers = class_numbers(classes, edges);
    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>dlsmate catalogue</title>\n<style>\n"
            "body { font-family: sans-serif; margin: 2em; }\n"
            "table { border-collapse: collapse; } td, th { border: 1px solid #999; padding: 0.2em 0.6em; }\n"
            "td.number { text-align: right; } .discovery { color: #b00; font-weight: bold; }\n"
            "pre.cf { font-size: 70%; margin: 0; }\n</style>\n</head>\n<body>\n"
            "<h1>dlsmate catalogue</h1>\n<h2>Totals</h2>\n<ul id=\"totals\">\n";
    for (const std::string& line : research_lines(totals))
        html << "<li>" << escape_html(line) << "</li>\n";
    html << "</ul>\n<h2>Spaces</h2>\n<ul id=\"spaces\">\n";
    for (const std::string& line : space_lines)
        html << "<li>" << escape_html(line) << "</li>\n";
    html << "</ul>\n<h2>Triangles</h2>\n";
    if (triangles.empty()) {
        html << "<p id=\"triangles\">No three mutually orthogonal squares found.</p>\n";
    } else {
        html << "<ul id=\"triangles\" class=\"discovery\">\n";
        for (const std::string& line : triangles)
            html << "<li>" << escape_html(line) << "</li>\n";
        html << "</ul>\n";
    }
    html << "<h2>Spectra</h2>\n<pre id=\"spectra\">"
         << escape_html(spectrum_table("Diagonal transversals", transversal_spectrum(classes))) << "\n"
         << escape_html(spectrum_table("Orthogonal diagonal mates", mate_spectrum(classes))) << "</pre>\n"
         << "<p><img src=\"transversals.png\" alt=\"classes per number of diagonal transversals\">\n"
         << "<img src=\"mates.png\" alt=\"classes per number of mates\"></p>\n"
         << "<h2>Orthogonality graph</h2>\n<p>An edge joins two classes with orthogonal members "
            "(<a href=\"graph.dot\">DOT</a>, <a href=\"graph.png\">PNG</a>).</p>\n"
         << "<p><img src=\"graph.svg\" alt=\"orthogonality graph\"></p>\n"
         << "<h2>Classes</h2>\n<p>The CFs as a plain-text list: <a href=\"cfs.txt\">cfs.txt</a>.</p>\n"
         << "<table id=\"classes\">\n<tr><th>Class</th><th>CF</th><th>Class size</th><th>Diagonal transversals</th>"
            "<th>Mates</th><th>Found</th><th>First finding</th><th>Known</th></tr>\n";
    for (const ClassRow& row : classes) {
        LatinSquare square;
        const std::string cf_text = square_from_digits(row.cf, square) ? square_text(square) : row.cf;
        html << "<tr><td>C" << numbers.at(row.cf) << "</td><td><pre class=\"cf\">" << escape_html(cf_text)
             << "</pre></td><td class=\"number\">" << row.class_size << "</td><td class=\"number\">"
             << row.transversals << "</td><td class=\"number\">"
             << (row.searched ? std::to_string(row.mates) : std::string("not searched")) << "</td><td class=\"number\">"
             << row.found << "</td><td>" << escape_html((row.origin == "found" ? "unit " : "mate, unit ") + row.first_unit)
             << "</td><td>" << (row.known ? "known" : "new") << "</td></tr>\n";
    }
    html << "</table>\n</body>\n</html>\n";
    return html.str();
}
