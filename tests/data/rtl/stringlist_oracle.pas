{ Prints how TStringList treats delimited text, name=value pairs and text.
  Each line: a case kind, its input and its output, separated by tabs.
  Lists are written as [item][item]...; inside strings \\ \t \n \r \] are escaped.
  Build and run: fpc -O1 stringlist_oracle.pas && ./stringlist_oracle > stringlist_oracle.txt }
program stringlist_oracle;
{$mode objfpc}{$H+}
uses Classes, SysUtils;

function Esc(const S: string): string;
var I: Integer;
begin
  Result := '';
  for I := 1 to Length(S) do
    case S[I] of
      '\': Result := Result + '\\';
      #9: Result := Result + '\t';
      #10: Result := Result + '\n';
      #13: Result := Result + '\r';
      ']': Result := Result + '\]';
    else Result := Result + S[I];
    end;
end;

function ListOf(L: TStrings): string;
var I: Integer;
begin
  Result := '';
  for I := 0 to L.Count - 1 do Result := Result + '[' + Esc(L[I]) + ']';
end;

function Make(const Items: array of string): TStringList;
var I: Integer;
begin
  Result := TStringList.Create;
  for I := Low(Items) to High(Items) do Result.Add(Items[I]);
end;

function StrictStr(B: Boolean): string;
begin
  if B then Result := '1' else Result := '0';
end;

procedure GetComma(const Items: array of string);
var L: TStringList;
begin
  L := Make(Items);
  WriteLn('GETCOMMA'#9, ListOf(L), #9, Esc(L.CommaText));
  L.Free;
end;

procedure SetComma(const S: string);
var L: TStringList;
begin
  L := TStringList.Create;
  L.CommaText := S;
  WriteLn('SETCOMMA'#9, Esc(S), #9, ListOf(L));
  L.Free;
end;

procedure GetDelim(D, Q: Char; Strict: Boolean; const Items: array of string);
var L: TStringList;
begin
  L := Make(Items);
  L.Delimiter := D; L.QuoteChar := Q; L.StrictDelimiter := Strict;
  WriteLn('GETDELIM'#9, Esc(D), Esc(Q), StrictStr(Strict), ListOf(L), #9, Esc(L.DelimitedText));
  L.Free;
end;

procedure SetDelim(D, Q: Char; Strict: Boolean; const S: string);
var L: TStringList;
begin
  L := TStringList.Create;
  L.Delimiter := D; L.QuoteChar := Q; L.StrictDelimiter := Strict;
  L.DelimitedText := S;
  WriteLn('SETDELIM'#9, Esc(D), Esc(Q), StrictStr(Strict), Esc(S), #9, ListOf(L));
  L.Free;
end;

procedure Values(const Items: array of string; const Names: array of string);
var L: TStringList; I: Integer;
begin
  L := Make(Items);
  for I := Low(Names) to High(Names) do
    WriteLn('VALUES'#9, ListOf(L), '[', Esc(Names[I]), ']', #9, '[', Esc(L.Values[Names[I]]), ']');
  for I := 0 to L.Count - 1 do
    WriteLn('NAMEAT'#9, ListOf(L), '[', I, ']', #9, '[', Esc(L.Names[I]), '][', Esc(L.ValueFromIndex[I]), ']');
  L.Free;
end;

procedure SetValue(const Items: array of string; const N, V: string);
var L: TStringList; Before: string;
begin
  L := Make(Items);
  Before := ListOf(L);
  L.Values[N] := V;
  WriteLn('SETVALUE'#9, Before, '[', Esc(N), '][', Esc(V), ']', #9, ListOf(L));
  L.Free;
end;

procedure SetText(const S: string);
var L: TStringList;
begin
  L := TStringList.Create;
  L.Text := S;
  WriteLn('SETTEXT'#9, Esc(S), #9, ListOf(L));
  L.Free;
end;

procedure GetText(const Items: array of string);
var L: TStringList;
begin
  L := Make(Items);
  L.LineBreak := #10;
  WriteLn('GETTEXT'#9, ListOf(L), #9, Esc(L.Text));
  L.Free;
end;

begin
  GetComma(['a', 'b', 'c']);
  GetComma(['a b', 'c']);
  GetComma([]);
  GetComma(['']);
  GetComma(['', '']);
  GetComma(['a', '', 'b']);
  GetComma(['say "hi"', 'x']);
  GetComma(['a,b']);
  GetComma([' lead', 'trail ']);
  GetComma(['tab'#9'here']);
  GetComma(['ação', 'preço unitário']);
  GetComma(['a"b']);
  GetComma(['it''s']);
  GetComma(['a'#10'b']);
  GetComma(['"']);
  GetComma(['''']);
  GetComma(['a;b', 'x|y']);
  GetComma(['"quoted"']);

  SetComma('a,b,c');
  SetComma('a b,c');
  SetComma('"a b",c');
  SetComma(' a , b ');
  SetComma('a,,b');
  SetComma('a,');
  SetComma(',a');
  SetComma('');
  SetComma('""');
  SetComma('"a""b",c');
  SetComma('"unterminated');
  SetComma('"a"b,c');
  SetComma('a"b",c');
  SetComma('  ');
  SetComma(',');
  SetComma(',,');
  SetComma('a, ,b');
  SetComma('"x" , "y"');
  SetComma('ação,"preço unitário"');
  SetComma('a;b,c');
  SetComma('one two three');
  SetComma('"",""');
  SetComma('a,"",b');
  SetComma(#9'a'#9',b');
  SetComma('"a,b" c');

  SetDelim(';', '"', False, 'a;b;c');
  SetDelim(';', '"', False, 'a b;c');
  SetDelim(';', '"', False, ' a ; b ');
  SetDelim(';', '"', False, '"a;b";c');
  SetDelim(';', '"', False, 'a;;b');
  SetDelim(';', '"', False, 'a;');
  SetDelim(';', '"', False, 'a,b;c');
  SetDelim(';', '"', True, 'a b;c');
  SetDelim(';', '"', True, ' a ; b ');
  SetDelim(';', '"', True, '"a;b";c');
  SetDelim(';', '"', True, 'a;;b');
  SetDelim(';', '"', True, 'a;');
  SetDelim(';', '"', True, 'a,b;c');
  SetDelim(';', '"', True, '"a b" ;c');
  SetDelim(';', '"', True, '');
  SetDelim(';', '"', True, ';');
  SetDelim(',', '''', False, '''a,b'',c');
  SetDelim(',', '''', False, '''it''''s'',x');
  SetDelim(',', '''', False, '"a b",c');
  SetDelim('|', '"', True, 'x|y z|');
  SetDelim('|', '"', True, '  x  |  y  ');
  SetDelim(#9, '"', True, 'a'#9'b c'#9#9'd');

  GetDelim(';', '"', False, ['a b', 'c']);
  GetDelim(';', '"', False, ['a;b', 'a,b']);
  GetDelim(';', '"', True, ['a b', 'c']);
  GetDelim(';', '"', True, ['a;b', 'x y']);
  GetDelim(';', '"', True, ['']);
  GetDelim(';', '"', True, ['', 'a', '']);
  GetDelim(',', '''', False, ['a,b', 'it''s', 'say "x"']);
  GetDelim('|', '"', True, ['x', 'y z', 'a"b']);

  Values(['Nome=João', 'CPF=123', 'Vazio=', 'semvalor', '=x', 'a=b=c', 'nome=dup'],
         ['Nome', 'NOME', 'nome', 'Vazio', 'semvalor', '', 'a', 'ausente', 'cpf']);

  SetValue(['a=1', 'b=2', 'c=3'], 'b', '20');
  SetValue(['a=1', 'b=2', 'c=3'], 'b', '');
  SetValue(['a=1', 'b=2', 'c=3'], 'd', '4');
  SetValue(['a=1', 'b=2', 'c=3'], 'A', 'x');
  SetValue(['a=1', 'b=2', 'c=3'], 'zz', '');
  SetValue(['a=1', 'b', 'c=3'], 'b', 'novo');
  SetValue(['x=1', 'x=2'], 'x', '9');
  SetValue([], 'k', 'v=w');

  SetText('a'#13#10'b'#10'c'#13'd');
  SetText('a'#10);
  SetText('');
  SetText('a'#10#10);
  SetText(#10);
  SetText(#13#10#13#10);
  SetText('x'#13);
  SetText(#10#13);
  SetText('a'#13#13#10'b');
  SetText('sem quebra');

  GetText(['a', 'b']);
  GetText([]);
  GetText(['']);
  GetText(['', '']);
  GetText(['ação']);
end.
