#include "html_report.h"

#include <algorithm>
#include <iterator>

#include "fields.h"

namespace micr {
namespace {

// Each byte as a JSON string character that is also safe inside a <script>
// element: markup characters, control bytes and bytes from 0x80 up (the
// Latin-1 character of their value) as \u00XX, so the page is pure ASCII.
void append_json(std::string& out, std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7f || c == '<' || c == '>' || c == '&') {
            out += "\\u00";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void append_html(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (b < 0x20 || b >= 0x7f)
                    out += "&#" + std::to_string(b < 0x20 ? 0x2400 + b : b) + ";";  // control pictures, Latin-1
                else
                    out += c;
        }
    }
}

void append_number(std::string& out, long n) { out += std::to_string(n); }

// The rule names a split can give, in one list the page indexes.
constexpr split_rule all_rules[] = {
    split_rule::right_code_and_serial,
    split_rule::right_lone_code,
    split_rule::right_lone_serial,
    split_rule::auxiliary_serial,
    split_rule::middle_lone_account,
    split_rule::middle_serial_then_account,
    split_rule::middle_leftmost_serial,
    split_rule::middle_rightmost_serial,
    split_rule::middle_account,
    split_rule::left_account,
    split_rule::shorter_group_serial,
    split_rule::middle_serial_left_account,
    split_rule::left_serial_middle_account,
    split_rule::middle_account_both_grouped,
    split_rule::account_after_serial,
};

constexpr const char* page_style = R"(<style>
body{font:14px system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.3em}table{border-collapse:collapse}td,th{padding:3px 6px;vertical-align:top;text-align:left}
.summary td{border:0}.cases>tbody>tr{border-top:1px solid #ddd}.micr{font-family:monospace;white-space:pre}
.f-amount{background:#fde2a7}.f-on_us{background:#c9e7ff}.f-transit{background:#d2f2c9}
.f-epc{background:#f3cdf7}.f-auxiliary_on_us{background:#e4dcff}
.fields{font-family:monospace;white-space:pre;font-size:12px}.fields td{padding:0 4px}
td.differs{background:#ffd0d0;font-weight:bold}.why{color:#555;font-size:12px}
#controls{margin:1em 0}#more{margin:1em 0}.problems{color:#a00}
</style>
)";

constexpr const char* page_script = R"(<script>
(function(){
var d=JSON.parse(document.getElementById('data').textContent),
    F=['amount','account','tpc','csn','transit','epc','onus','auxonus'],
    S=['amount','on_us','transit','epc','auxiliary_on_us'],
    N=['OK','INVALID','MISSING','TOOLONG','UNRECOG','NOTERM'],
    E=['EX_NORMAL','EX_USED','EX_OPEN_ERR','EX_INVALID'],
    body=document.getElementById('cases'),box=document.getElementById('filter'),
    only=document.getElementById('only'),more=document.getElementById('more'),page=200,shown=0,hits=[];
function esc(s){return s.replace(/[&<>"]/g,function(c){return {'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;'}[c];});}
function st(n){return n>=0&&n<N.length?N[n]:'???????';}
function micr(c){var t=c[3],sp=c[7],marks=[];
 for(var i=0;i<S.length;i++)if(sp[2*i+1]>0)marks.push([sp[2*i],sp[2*i]+sp[2*i+1],S[i]]);
 marks.sort(function(a,b){return a[0]-b[0];});var h='',at=0;
 marks.forEach(function(m){h+=esc(t.slice(at,m[0]))+'<span class="f-'+m[2]+'">'+esc(t.slice(m[0],m[1]))+'</span>';at=m[1];});
 return h+esc(t.slice(at));}
function why(c){var w=c[10];if(w===null)return 'on-us field not split';if(w[0]>0)return 'split by table line '+w[0];
 var p=[];[['account',1],['csn',2],['tpc',3]].forEach(function(f){if(w[f[1]]>=0)p.push(f[0]+': '+d.rules[w[f[1]]]);});
 return p.length?'default rules \u2014 '+p.join(', '):'default rules found nothing';}
function row(c){var diff={};c[9].forEach(function(x){diff[x[0]]=x;});var f='';
 for(var i=0;i<8;i++){var x=diff[i],cls=x?' class="differs"':'';
  f+='<tr><td>'+F[i]+'</td><td'+cls+'>'+st(c[8][2*i+1])+'</td><td'+cls+'>'+esc(c[8][2*i])+'</td>'+
   (x?'<td class="differs">expected '+st(x[2])+' '+esc(x[1])+'</td>':'<td></td>')+'</tr>';}
 return '<tr class="'+(c[9].length?'case differing':'case')+'"><td>'+esc(c[1])+'</td><td>'+esc(c[2])+
  '<div class="why">'+esc(d.files[c[0]])+' \u2014 '+E[c[4]]+', status '+c[5]+'</div></td><td><div class="micr">'+micr(c)+
  '</div><div class="why">'+why(c)+'</div></td><td><table class="fields">'+f+'</table></td></tr>';}
function matches(c,q){if(only.checked&&!c[9].length)return false;if(!q)return true;
 if((c[1]+'\n'+c[2]+'\n'+c[3]).toLowerCase().indexOf(q)>=0)return true;
 for(var i=0;i<16;i+=2)if(c[8][i].toLowerCase().indexOf(q)>=0)return true;return false;}
function show(){var h='',end=Math.min(hits.length,shown+page);for(var i=shown;i<end;i++)h+=row(d.cases[hits[i]]);
 body.insertAdjacentHTML('beforeend',h);shown=end;more.hidden=shown>=hits.length;
 document.getElementById('count').textContent=hits.length+' of '+d.cases.length+' cases match';}
function refresh(){var q=box.value.toLowerCase();hits=[];
 for(var i=0;i<d.cases.length;i++)if(matches(d.cases[i],q))hits.push(i);body.innerHTML='';shown=0;show();}
only.checked=location.hash==='#differences';
box.addEventListener('input',refresh);only.addEventListener('change',refresh);more.addEventListener('click',show);
window.addEventListener('hashchange',function(){only.checked=location.hash==='#differences';refresh();});
refresh();})();
</script>
)";

}  // namespace

void html_report::begin_file(std::string_view name) {
    file_ = name;
    files_.emplace_back();
    append_json(files_.back(), name);
}

void html_report::file_failed(std::string_view message) {
    ++failed_files_;
    problems_ += "<li>";
    append_html(problems_, message);
    problems_ += "</li>\n";
}

void html_report::skipped(long line, std::string_view reason) {
    ++skipped_;
    problems_ += "<li>";
    append_html(problems_, file_);
    problems_ += " line " + std::to_string(line) + ": ";
    append_html(problems_, reason);
    problems_ += "</li>\n";
}

void html_report::test_case(const case_outcome& o) {
    ++cases_count_;
    if (o.differing != 0) ++differing_cases_;
    std::string& c = cases_;
    if (!c.empty()) c += ",\n";
    // [file, label, description, micr, state, status, unreadable, spans, fields, differences, why]
    c += '[';
    append_number(c, static_cast<long>(files_.size()) - 1);
    c += ',';
    append_json(c, o.label);
    c += ',';
    append_json(c, o.description);
    c += ',';
    append_json(c, o.micr_text);
    c += ',' + std::to_string(o.parsed.exception_state) + ',' + std::to_string(o.parsed.status) + ',' +
         std::to_string(o.parsed.unrecognized_symbols) + ",[";
    const text_span* spans[] = {&o.notes.amount, &o.notes.on_us, &o.notes.transit, &o.notes.epc,
                                &o.notes.auxiliary_on_us};
    for (const text_span* s : spans) {
        if (s != spans[0]) c += ',';
        c += std::to_string(s->start) + ',' + std::to_string(s->length);
    }
    c += "],[";
    for (const field_index f : all_fields) {
        if (f != all_fields[0]) c += ',';
        append_json(c, field_text(o.parsed, f));
        c += ',' + std::to_string(status_of(o.parsed, f));
    }
    c += "],[";
    bool first = true;
    for (const field_index f : all_fields) {
        if ((o.differing & (1u << f)) == 0) continue;
        ++differing_[f];
        c += first ? "[" : ",[";
        first = false;
        c += std::to_string(static_cast<int>(f)) + ',';
        append_json(c, std::string_view(text_of(o.expected, f), strnlen(text_of(o.expected, f), fields[f].width)));
        c += ',' + std::to_string(status_of(o.expected, f)) + ']';
    }
    c += "],";
    // Why: null when no split ran; else the table line and each field's rule (-1: none).
    const bool split = o.parsed.exception_state == MICR_EX_USED ||
                       (o.parsed.exception_state == MICR_EX_NORMAL && o.parsed.status == MICR_PARSE_COMPLETE);
    if (!split) {
        c += "null]";
        return;
    }
    const auto rule_index = [](split_rule rule) {
        const auto* at = std::find(std::begin(all_rules), std::end(all_rules), rule);
        return at == std::end(all_rules) ? -1L : static_cast<long>(at - std::begin(all_rules));
    };
    c += '[' + std::to_string(o.notes.table_line) + ',' + std::to_string(rule_index(o.notes.account_rule)) + ',' +
         std::to_string(rule_index(o.notes.csn_rule)) + ',' + std::to_string(rule_index(o.notes.tpc_rule)) + "]]";
}

bool html_report::write(std::FILE* out) const {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>micrtest report</title>\n";
    page += page_style;
    page +=
        "</head><body>\n<h1>micrtest report</h1>\n<table class=\"summary\"><tr><td>Cases</td><td id=\"cases-count\">" +
        std::to_string(cases_count_) + "</td></tr><tr><td>Cases with differences</td><td id=\"differing-count\">" +
        std::to_string(differing_cases_) + "</td></tr><tr><td>Lines skipped</td><td id=\"skipped-count\">" +
        std::to_string(skipped_) + "</td></tr>";
    if (failed_files_ > 0)
        page += "<tr><td>Files not read</td><td id=\"failed-count\">" + std::to_string(failed_files_) + "</td></tr>";
    page += "</table>\n";

    // Per field, how many cases differ there: one bar each.
    constexpr int bar_height = 18, label_width = 70, chart_width = 300;
    const int most = std::max(1, *std::max_element(std::begin(differing_), std::end(differing_)));
    page += "<svg id=\"chart\" width=\"" + std::to_string(label_width + chart_width + 60) + "\" height=\"" +
            std::to_string(bar_height * field_count + 4) +
            "\" role=\"img\" aria-label=\"cases that differ, by field\">\n";
    for (const field_index f : all_fields) {
        const int y = bar_height * static_cast<int>(f);
        const int width = chart_width * differing_[f] / most;
        page += "<text x=\"0\" y=\"" + std::to_string(y + 13) + "\" font-size=\"12\">" + fields[f].name + "</text>";
        page += "<rect x=\"" + std::to_string(label_width) + "\" y=\"" + std::to_string(y + 2) + "\" width=\"" +
                std::to_string(width) + "\" height=\"" + std::to_string(bar_height - 4) + "\" fill=\"#d9534f\"/>";
        page += "<text x=\"" + std::to_string(label_width + width + 4) + "\" y=\"" + std::to_string(y + 13) +
                "\" font-size=\"12\">" + std::to_string(differing_[f]) + "</text>\n";
    }
    page += "</svg>\n";
    if (!problems_.empty()) page += "<ul class=\"problems\">\n" + problems_ + "</ul>\n";
    page +=
        "<div id=\"controls\"><input id=\"filter\" type=\"search\" placeholder=\"filter by label or text\"> "
        "<label><input id=\"only\" type=\"checkbox\"> differences only</label> <span id=\"count\"></span></div>\n"
        "<table class=\"cases\"><thead><tr><th>Label</th><th>Description</th><th>MICR line</th><th>Fields</th>"
        "</tr></thead><tbody id=\"cases\"></tbody></table>\n<button id=\"more\" hidden>Show more</button>\n"
        "<noscript>The cases need JavaScript to be shown.</noscript>\n";
    page += "<script type=\"application/json\" id=\"data\">{\"files\":[";
    for (std::size_t i = 0; i < files_.size(); ++i) page += (i == 0 ? "" : ",") + files_[i];
    page += "],\"rules\":[";
    for (const split_rule rule : all_rules) {
        if (rule != all_rules[0]) page += ',';
        page += '"';
        page += split_rule_name(rule);
        page += '"';
    }
    page += "],\"cases\":[\n";
    std::fwrite(page.data(), 1, page.size(), out);
    std::fwrite(cases_.data(), 1, cases_.size(), out);
    std::fputs("]}</script>\n", out);
    std::fputs(page_script, out);
    std::fputs("</body></html>\n", out);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace micr
