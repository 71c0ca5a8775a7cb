{ kvhelpc: compiles the help project (a .hhp file) into the help file.

  Usage: kvhelpc <project.hhp> <output.chm>

  It builds the project with FPC's chm units, as chmcmd does, with three differences that
  make the file the same wherever and whenever it is built:
  - each help context (the [MAP]/[ALIAS] sections) names its topic by its path inside
    the file ("/main-window.htm"), not by the build folder's absolute path, so that any
    help reader finds the topic of a context;
  - the two build-time clocks the writer stores (the header's and #SYSTEM's) are zeroed;
  - memory comes zero-filled, so bytes the writer reserves and never sets (the first word
    of the keyword index's map is one) do not carry whatever the heap held before.
  It fails on any error the units report. }
program kvhelpc;

{$mode objfpc}{$H+}

uses
  cwstring, Classes, SysUtils, chmfilewriter, chmwriter, chmsitemap, chmreader;

type
  TKvProject = class(TChmProject)
  public
    procedure WriteChm(AOutStream: TStream); override;
  end;

var
  Failed: Boolean = False;
  HeapManager: TMemoryManager;

{ A memory manager over the heap's own that hands out zeroed memory, also when a block
  grows: every byte beyond what a block's owner wrote is zero. }
function ZeroGetMem(Size: PtrUInt): Pointer;
begin
  Result := HeapManager.AllocMem(Size);
end;

function ZeroReAllocMem(var P: Pointer; Size: PtrUInt): Pointer;
var
  Before, After: PtrUInt;
begin
  if P = nil then
  begin
    P := HeapManager.AllocMem(Size);
    Exit(P);
  end;
  Before := HeapManager.MemSize(P);
  if (Size > 0) and (Size < Before) then
    FillChar((PByte(P) + Size)^, Before - Size, 0);
  Result := HeapManager.ReAllocMem(P, Size);
  if P <> nil then
  begin
    After := HeapManager.MemSize(P);
    if After > Before then
      FillChar((PByte(P) + Before)^, After - Before, 0);
  end;
end;

procedure UseZeroedMemory;
var
  Zeroed: TMemoryManager;
begin
  GetMemoryManager(HeapManager);
  Zeroed := HeapManager;
  Zeroed.GetMem := @ZeroGetMem;
  Zeroed.AllocMem := @ZeroGetMem;
  Zeroed.ReAllocMem := @ZeroReAllocMem;
  SetMemoryManager(Zeroed);
end;

procedure OnProjectError(Project: TChmProject; ErrorKind: TChmProjectErrorKind; Msg: String;
  DetailLevel: Integer = 0);
begin
  case ErrorKind of
    chmerror:
      begin
        Failed := True;
        WriteLn(StdErr, 'kvhelpc: error: ', Msg);
      end;
    chmwarning:
      WriteLn(StdErr, 'kvhelpc: warning: ', Msg);
  else
    { notes, hints and progress stay quiet }
  end;
end;

{ The same steps as TChmProject.WriteChm, but the contexts name their topics by the
  project-relative file name, which is where the writer puts the file's data. }
procedure TKvProject.WriteChm(AOutStream: TStream);
var
  Writer: TChmWriter;
  Toc: TChmSiteMap;
  TocFile: String;
  Node: TChmContextNode;
  I: Integer;
begin
  LoadSiteMaps;
  if ScanHtmlContents then
    ScanHtml;

  { the writer reads the contents' look (#IDXHDR) from the contents sitemap }
  Toc := nil;
  if TableOfContentsFileName <> '' then
  begin
    TocFile := IncludeTrailingPathDelimiter(ProjectDir) + ExtractFileName(TableOfContentsFileName);
    if FileExists(TocFile) then
    begin
      Toc := TChmSiteMap.Create(stTOC);
      Toc.LoadFromFile(TocFile);
    end;
  end;

  Writer := TChmWriter.Create(AOutStream, False);
  try
    Writer.OnGetFileData := @GetData;
    Writer.OnLastFile := @LastFileAdded;
    Writer.FilesToCompress.AddStrings(Files);
    Writer.FilesToCompress.AddStrings(OtherFiles);
    Writer.DefaultPage := DefaultPage;
    Writer.Title := Title;
    Writer.DefaultFont := DefaultFont;
    Writer.FullTextSearch := MakeSearchable;
    Writer.HasBinaryTOC := MakeBinaryTOC;
    Writer.HasBinaryIndex := MakeBinaryIndex;
    Writer.IndexName := IndexFileName;
    Writer.TocName := TableOfContentsFileName;
    Writer.ReadmeMessage := ReadmeMessage;
    Writer.DefaultWindow := DefaultWindow;
    Writer.LocaleID := LocaleID;
    for I := 0 to Files.Count - 1 do
    begin
      Node := TChmContextNode(Files.Objects[I]);
      if not FileExists(ProjectDir + Files[I]) then
        Error(chmwarning, 'File ' + Files[I] + ' does not exist');
      if Assigned(Node) and (Node.ContextNumber <> 0) then
        Writer.AddContext(Node.ContextNumber, '/' + Files[I]);
    end;
    if Windows.Count > 0 then
      Writer.Windows := Windows;
    if MergeFiles.Count > 0 then
      Writer.MergeFiles := MergeFiles;
    if Assigned(Toc) then
      Writer.TocSitemap := Toc;
    Writer.Execute;
  finally
    Writer.Free;
    Toc.Free;
  end;
end;

function Le16(Data: TMemoryStream; At: Int64): Word;
var
  P: PByte;
begin
  P := PByte(Data.Memory) + At;
  Result := P[0] or (Word(P[1]) shl 8);
end;

{ Zeroes the build-time clocks: the header's time stamp and #SYSTEM's entry 10. #SYSTEM
  lies in the uncompressed section 0, so its bytes are changed in place, length kept. }
procedure ZeroClocks(Data: TMemoryStream);
const
  HeaderTimeStamp = $10;   { TITSFHeader.TimeStamp }
  HeaderSection0 = $58;    { TITSFHeaderSuffix.Offset: where section 0 starts }
  SystemClockCode = 10;
var
  Reader: TChmReader;
  Section0, At, Stop: Int64;
  Size: QWord;
  Code, Len: Word;
  Found: Boolean;
begin
  if Data.Size < HeaderSection0 + 8 then
    raise Exception.Create('the written file has no header');
  FillChar((PByte(Data.Memory) + HeaderTimeStamp)^, 4, 0);
  Section0 := PInt64(PByte(Data.Memory) + HeaderSection0)^;

  Data.Position := 0;
  Reader := TChmReader.Create(Data, False);
  try
    Size := Reader.ObjectExists('/#SYSTEM');
    if (Size = 0) or (Reader.CachedEntry.ContentSection <> 0) then
      raise Exception.Create('#SYSTEM is not stored uncompressed');
    At := Section0 + Int64(Reader.CachedEntry.ContentOffset);
    Stop := At + Int64(Size);
  finally
    Reader.Free;
  end;
  if Stop > Data.Size then
    raise Exception.Create('#SYSTEM lies beyond the file');

  { a version dword, then entries: code word, length word, data }
  Inc(At, 4);
  Found := False;
  while At + 4 <= Stop do
  begin
    Code := Le16(Data, At);
    Len := Le16(Data, At + 2);
    if At + 4 + Len > Stop then
      Break;
    if (Code = SystemClockCode) and (Len = 4) then
    begin
      FillChar((PByte(Data.Memory) + At + 4)^, 4, 0);
      Found := True;
    end;
    Inc(At, 4 + Len);
  end;
  if not Found then
    raise Exception.Create('#SYSTEM has no clock entry');
end;

var
  Project: TKvProject;
  Output: TMemoryStream;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(StdErr, 'usage: kvhelpc <project.hhp> <output.chm>');
    Halt(2);
  end;
  UseZeroedMemory;
  Project := TKvProject.Create;
  Output := TMemoryStream.Create;
  try
    try
      Project.OnError := @OnProjectError;
      Project.LoadFromhhp(ParamStr(1), False);
      { as chmcmd does for .hhp projects: follow the pages' links to the files they use }
      Project.ScanHtmlContents := True;
      Project.WriteChm(Output);
      Project.ShowUndefinedAnchors;
      if Failed then
        Halt(1);
      ZeroClocks(Output);
      Output.SaveToFile(ParamStr(2));
    except
      on E: Exception do
      begin
        WriteLn(StdErr, 'kvhelpc: ', E.Message);
        Halt(1);
      end;
    end;
  finally
    Output.Free;
    Project.Free;
  end;
end.
