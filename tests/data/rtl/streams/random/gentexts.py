# Random text forms of component streams for the converter comparison
# (make.sh runs it with fixed seeds): every value type, nesting, strings
# with quotes, control characters and wide characters, "+" joins.
import random, sys
r = random.Random(int(sys.argv[1]))
def ident():
    return r.choice(['A','b','Cc','_x','Name1','skNone','Foo.Bar','Owner'])
def string():
    parts=[]
    for _ in range(r.randint(1,4)):
        k=r.random()
        if k<0.5: parts.append("'" + ''.join(r.choice("ab c'd") for _ in range(r.randint(0,6))).replace("'","''") + "'")
        elif k<0.8: parts.append('#'+str(r.choice([0,9,10,13,31,32,65,126,127])))
        else: parts.append('#'+str(r.choice([128,200,255,256,8364,55357,65535])))
    s=parts[0]
    for p in parts[1:]:
        s += (' +\n    ' if r.random()<0.3 else '') + p
    return s
def value(d):
    k=r.random()
    if k<0.15: return str(r.choice([0,1,-1,127,128,-128,-129,32767,32768,-32769,2147483647,-2147483648,2147483648,9223372036854775807,-9223372036854775808]))
    if k<0.3: return r.choice(['1.5','-0.25','1E10','3.14159265358979','0.1','2.5E-300','1e308','-7.125','100.0'])
    if k<0.45: return string()
    if k<0.55: return ident()
    if k<0.6: return r.choice(['True','False','nil'])
    if k<0.7: return '[' + ', '.join(ident().split('.')[0] for _ in range(r.randint(0,3))) + ']'
    if k<0.8 and d<3: return '(\n' + '\n'.join(value(d+1) for _ in range(r.randint(0,3))) + ')'
    if k<0.9 and d<3:
        items=[]
        for _ in range(r.randint(0,2)):
            items.append('item\n' + ''.join('P%d = %s\n'%(i,value(d+1)) for i in range(r.randint(0,2))) + 'end')
        return '<' + '\n'.join(items) + '>'
    return '{' + ''.join(r.choice('0123456789ABCDEF') for _ in range(2*r.randint(0,40))) + '}'
def obj(d):
    kw=r.choice(['object','object','inherited','inline'])
    s='%s N%d: TX\n'%(kw,d)
    for i in range(r.randint(0,5)):
        s+='  Prop%d = %s\n'%(i,value(0))
    if d<2:
        for _ in range(r.randint(0,2)): s+=obj(d+1)
    return s+'end\n'
print(obj(0), end='')
