"""The HTML report of a diff: one page with no outside resources, changes grouped by kind and
then by class, a search box that filters every group. Rows travel as JSON in the page and are
drawn when their group opens, so a long diff opens quickly."""

from __future__ import annotations

import html
import json
import math

import pyarrow.compute as pc

# More rows than this make a page browsers struggle with: the rest is counted, not listed.
MAX_ROWS = 50_000

STYLE = """
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.3em}
table.sum td{padding:.1em .8em .1em 0}
input{font-size:1em;padding:.3em;width:28em;margin:.8em 0}
details{margin:.2em 0 .2em 1em}
summary{cursor:pointer}
summary b{display:inline-block;min-width:9em}
table.rows{border-collapse:collapse;margin:.3em 0 .6em 1em}
table.rows td,table.rows th{border-bottom:1px solid #ddd;padding:.15em .6em;text-align:left;vertical-align:top}
.n{color:#666}
.old{color:#b00}.new{color:#070}
"""

SCRIPT = """
const D=JSON.parse(document.getElementById('rows').textContent);
const C=D.columns, R=D.rows, q=document.getElementById('q'), OPEN=200;
const esc=s=>s==null?'':String(s).replace(/[&<>]/g,c=>({'&':'&amp;','<':'&lt;','>':'&gt;'})[c]);
function groups(rows){const g=new Map();for(const r of rows){const k=r[3];if(!g.has(k))g.set(k,new Map());
 const c=g.get(k),e=r[1]||'(unknown)';if(!c.has(e))c.set(e,[]);c.get(e).push(r);}return g;}
function table(rows){let h='<table class=rows><tr><th>GlobalId</th><th>name</th><th>what</th><th>old</th><th>new</th><th>distance</th></tr>';
 for(const r of rows){const o=r[5]??r[7],n=r[6]??r[8];
  h+=`<tr><td>${esc(r[0])}</td><td>${esc(r[2])}</td><td>${esc(r[4])}</td><td class=old>${esc(o)}</td><td class=new>${esc(n)}</td><td>${r[9]==null?'':r[9].toFixed(4)}</td></tr>`;}
 return h+'</table>';}
function draw(){const t=q.value.toLowerCase();
 const rows=t?R.filter(r=>r.some(v=>v!=null&&String(v).toLowerCase().includes(t))):R;
 const out=document.getElementById('out');out.innerHTML='';
 for(const [kind,byClass] of groups(rows)){const k=document.createElement('details');let n=0;
  for(const v of byClass.values())n+=v.length;
  k.innerHTML=`<summary><b>${esc(kind)}</b> <span class=n>${n}</span></summary>`;
  for(const [cls,list] of byClass){const d=document.createElement('details');
   d.innerHTML=`<summary>${esc(cls)} <span class=n>${list.length}</span></summary>`;
   d.addEventListener('toggle',()=>{if(d.open&&!d.dataset.drawn){d.insertAdjacentHTML('beforeend',table(list));d.dataset.drawn=1;}});
   if(list.length<=OPEN&&(t||R.length<=OPEN))d.open=true;
   k.appendChild(d);}
  if(t||R.length<=OPEN)k.open=true;out.appendChild(k);}}
q.addEventListener('input',draw);draw();
"""


def html_page(diff) -> str:
    changes = diff.changes
    shown = changes.slice(0, MAX_ROWS)
    data = {"columns": shown.column_names,
            "rows": [[None if isinstance(v, float) and not math.isfinite(v) else v for v in r]
                     for r in zip(*(shown.column(c).to_pylist() for c in shown.column_names))]}
    # "</" cannot end the script element early once escaped.
    payload = json.dumps(data, ensure_ascii=False, allow_nan=False, default=str).replace("</", "<\\/")
    counts = "".join(f"<tr><td>{html.escape(k)}</td><td>{n:,}</td></tr>" for k, n in diff.summary.items())
    more = (f"<p>The first {MAX_ROWS:,} of {changes.num_rows:,} changes are listed; write .parquet or .csv "
            "for all.</p>" if changes.num_rows > MAX_ROWS else "")
    classes = len(pc.unique(changes.column("entity"))) if changes.num_rows else 0
    heading = f"{changes.num_rows:,} change{'' if changes.num_rows == 1 else 's'} in {classes:,} " \
              f"class{'' if classes == 1 else 'es'}"
    return (f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>Changes: {html.escape(str(diff.new))}</title>"
            f"<style>{STYLE}</style></head><body>"
            f"<h1>{heading}</h1>"
            f"<p>old: {html.escape(str(diff.old))}<br>new: {html.escape(str(diff.new))}</p>"
            f"<table class=sum>{counts}</table>{more}"
            f"<input id=q type=search placeholder='search GlobalId, name, property, value…'>"
            f"<div id=out></div><script type='application/json' id=rows>{payload}</script>"
            f"<script>{SCRIPT}</script></body></html>")
